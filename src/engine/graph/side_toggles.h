// Bulk changes of sparse adjacency made side by side: each vertex that changes toggles a group of
// entries in its own set, and the two sides of every pair are reached from their own ends. Pair
// by pair, complementing a neighbourhood of d vertices costs about 2 d^2 set operations; side by
// side, a set kept as a bit row takes its whole side in one XOR of N / 64 words (counting its
// entries in the same pass), and only the other sets take their entries one by one. A graph that
// fills in without room for a matrix therefore still changes a word (64 pairs) at a time.
//
// Everything that can fail for lack of memory (room in the sets, the masks) is done before the
// first change, so a refusal leaves the graph as it was.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "../base.h"
#include "../bits/bit_row.h"
#include "../containers/neighbor_set.h"
#include "../containers/qubit_buffer.h"

namespace korvane::engine {

inline constexpr Qubit no_qubit = std::numeric_limits<Qubit>::max();

// Vertices that all toggle the same entries: the entries of `entries` (a qubit listed twice is
// toggled twice, so the lists add up as a symmetric difference) and `single_entry`. No vertex
// toggles itself.
struct SideGroup {
  std::array<const QubitBuffer*, 2> members{};
  Qubit single_member = no_qubit;
  std::array<const QubitBuffer*, 2> entries{};
  Qubit single_entry = no_qubit;

  template <class Visit>
  void for_each_member(Visit&& visit) const {
    for (const QubitBuffer* const list : members)
      if (list != nullptr)
        for (const Qubit u : *list) visit(u);
    if (single_member != no_qubit) visit(single_member);
  }
  template <class Visit>
  void for_each_entry(Visit&& visit) const {
    for (const QubitBuffer* const list : entries)
      if (list != nullptr)
        for (const Qubit x : *list) visit(x);
    if (single_entry != no_qubit) visit(single_entry);
  }
  std::size_t entry_count() const {
    std::size_t count = single_entry != no_qubit ? 1 : 0;
    for (const QubitBuffer* const list : entries)
      if (list != nullptr) count += list->size();
    return count;
  }
};

// A row XOR costs about as much per word as toggling one entry of a row costs per eighth entry:
// below this many entries per word a bit row takes its entries one by one too.
inline constexpr std::size_t row_words_per_entry = 8;

// Toggles every group's entries in each member's own set, and counts the edges changed. `Sets` is
// a sparse store (sparse_graph.h); `universe` is the register's size.
template <class Sets>
void toggle_sides(Sets& sets, std::size_t universe, std::span<const SideGroup> groups) {
  const std::size_t words = words_for(universe);
  // Room first: every member may gain all its group's entries. A set may become a bit row here.
  std::vector<bool> row_mask_needed(groups.size(), false);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::size_t count = groups[g].entry_count();
    const bool row_pays = count * row_words_per_entry >= words;
    groups[g].for_each_member([&](Qubit u) {
      NeighborSet& set = sets.mutable_set(u);
      set.reserve_more(count, universe);
      if (row_pays && set.form() == NeighborSet::Form::bit_row) row_mask_needed[g] = true;
    });
  }
  // One mask row per group that has a member kept as a bit row.
  std::vector<Word> masks;
  std::size_t mask_rows = 0;
  for (const bool needed : row_mask_needed) mask_rows += needed ? 1 : 0;
  masks.assign(mask_rows * words, Word{0});
  std::vector<ConstBitRow> mask_of(groups.size());
  std::size_t next = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (!row_mask_needed[g]) continue;
    const BitRow mask(masks.data() + next * words, words);
    ++next;
    groups[g].for_each_entry([mask](Qubit x) { flip_bit(mask, x); });
    mask_of[g] = mask;
  }
  // The changes, which can no longer fail.
  std::ptrdiff_t degree_change = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const SideGroup& group = groups[g];
    group.for_each_member([&](Qubit u) {
      NeighborSet& set = sets.mutable_set(u);
      const auto before = static_cast<std::ptrdiff_t>(set.size());
      if (row_mask_needed[g] && set.form() == NeighborSet::Form::bit_row) {
        set.toggle_row(mask_of[g], u);
      } else {
        group.for_each_entry([&set, u](Qubit x) {
          if (x != u) set.toggle_reserved(x);
        });
      }
      set.fit_storage();
      degree_change += static_cast<std::ptrdiff_t>(set.size()) - before;
    });
  }
  sets.count_edges(degree_change / 2);
}

}  // namespace korvane::engine
