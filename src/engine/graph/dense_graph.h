// The graph view over dense adjacency: a bit row per vertex, bit b of row a being the edge a-b.
// Complementing a neighbourhood XORs one row into each neighbour's row, and the X measurement's
// pivot XORs one of three masks into each row it touches, so dense graphs change a word (64
// pairs) at a time. Where few pairs change, single toggles are cheaper and are used instead.
//
// Degrees are counted from the rows when asked for rather than kept up to date, which would cost
// a population count of every row a bulk change touches.
#pragma once

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstddef>

#include "../base.h"
#include "../bits/bit_row.h"
#include "../containers/qubit_buffer.h"
#include "graph_view.h"
#include "pair_toggles.h"

namespace korvane::engine {

// Dense adjacency as a view reads it; one that changes it also offers mutable_row(q) (which
// stays where it is while other rows change), scratch() (two rows of working space),
// count_edges(change), and forget_edge_count(work) for a bulk change of that much work: the
// words changed, and row_visit_work for each row visited.
template <class Store>
concept RowStore = requires(const Store& store, Qubit q) {
  { store.words() } -> std::same_as<std::size_t>;
  { store.row(q) } -> std::same_as<ConstBitRow>;
};

// The work of visiting one row of a bulk change (finding it, its VOP's change), in words.
inline constexpr std::size_t row_visit_work = 4;

template <VopStore Vops, RowStore Rows>
class DenseGraph : public VopAccess<Vops> {
 public:
  DenseGraph(Vops& vops, Rows& rows) : VopAccess<Vops>(vops), rows_(rows), words_(rows.words()) {}

  Rows& adjacency() const { return rows_; }

  std::size_t degree(Qubit q) const { return count_row(rows_.row(q)); }
  bool has_neighbor(Qubit q) const { return any_bit(rows_.row(q)); }
  bool has_neighbor_other_than(Qubit v, Qubit w) const {
    return has_bit_other_than(rows_.row(v), w);
  }
  bool has_edge(Qubit a, Qubit b) const { return test_bit(rows_.row(a), b); }

  void toggle_edge(Qubit a, Qubit b) {
    const BitRow row_a = rows_.mutable_row(a);
    flip_bit(row_a, b);
    flip_bit(rows_.mutable_row(b), a);
    rows_.count_edges(test_bit(row_a, b) ? 1 : -1);
  }

  // Adds the edge a-b, which must be absent.
  void add_edge(Qubit a, Qubit b) { toggle_edge(a, b); }

  // `visit` must not change q's own row.
  template <class Visit>
  void for_each_neighbor(Qubit q, Visit&& visit) const {
    for_each_bit(rows_.row(q), visit);
  }

  // Visits q's neighbours while `visit` returns true.
  template <class Visit>
  void for_each_neighbor_while(Qubit q, Visit&& visit) const {
    for_each_bit_while(rows_.row(q), visit);
  }

  void neighbors_into(Qubit q, QubitBuffer& list) const {
    for_each_bit(rows_.row(q), [&list](Qubit x) { list.push_back(x); });
  }

  void complement_neighborhood(Qubit v) {
    const std::size_t count = degree(v);
    if (count < 2) return;
    if (pairs_are_cheaper(count * (count - 1) / 2, count)) {
      QubitBuffer neighbors;
      neighbors_into(v, neighbors);
      complement_by_pairs(*this, neighbors);
      return;
    }
    // v's row is the mask: each neighbour u gains N(v) minus itself. Row v never changes here,
    // and only the words between the mask's first and last neighbour change.
    const ConstBitRow mask = rows_.row(v);
    const ConstBitRow span = nonzero_words(mask);
    const auto offset = static_cast<std::size_t>(span.data() - mask.data());
    for_each_bit(span, [&](Qubit bit) {
      const Qubit u = offset * word_bits + bit;
      const BitRow row = rows_.mutable_row(u);
      xor_row(row.subspan(offset, span.size()), span);
      flip_bit(row, u);  // the mask holds u itself
    });
    rows_.forget_edge_count(count * (span.size() + row_visit_work));
  }

  void isolate(Qubit v) {
    const std::size_t removed = degree(v);
    if (removed == 0) return;
    for_each_bit(rows_.row(v), [&](Qubit u) { flip_bit(rows_.mutable_row(u), v); });
    const BitRow row = rows_.mutable_row(v);
    std::fill(row.begin(), row.end(), Word{0});
    rows_.count_edges(-static_cast<std::ptrdiff_t>(removed));
  }

  void toggle_edges_to_neighbors(Qubit a, Qubit b, bool also_b) {
    // Row b is read in place: the toggles change rows a and c, never b. Each c flips its bit a,
    // and row a takes all of row b at once. When a-b is an edge, a is among the c and flips its
    // own bit, which row b's bit a flips back.
    const ConstBitRow row_b = rows_.row(b);
    const ConstBitRow span = nonzero_words(row_b);
    const auto offset = static_cast<std::size_t>(span.data() - row_b.data());
    std::size_t flipped = 0;
    for_each_bit(span, [&](Qubit bit) {
      flip_bit(rows_.mutable_row(offset * word_bits + bit), a);
      ++flipped;
    });
    xor_row(rows_.mutable_row(a).subspan(offset, span.size()), span);
    rows_.forget_edge_count(flipped * row_visit_work + span.size());
    if (also_b) toggle_edge(a, b);
  }

  void toggle_across_neighborhoods(Qubit a, Qubit b) {
    const std::size_t degree_a = degree(a);
    const std::size_t degree_b = degree(b);
    const std::size_t rows = degree_a + degree_b;
    if (pairs_are_cheaper(degree_a * degree_b, rows)) {
      toggle_across_by_pairs(*this, a, b);
      return;
    }
    const RowCopies old = copy_rows(a, b);
    const ConstBitRow mask_a = old.a.subspan(old.offset, old.words);
    const ConstBitRow mask_b = old.b.subspan(old.offset, old.words);
    // u in N(a) gains N(b), u in N(b) gains N(a); u in both gains each and so never itself.
    for (std::size_t w = old.offset; w < old.offset + old.words; ++w) {
      for (Word bits = old.a[w] | old.b[w]; bits != 0; bits &= bits - 1) {
        const Qubit u = w * word_bits + static_cast<std::size_t>(std::countr_zero(bits));
        const BitRow row = rows_.mutable_row(u).subspan(old.offset, old.words);
        const bool in_a = test_bit(old.a, u);
        const bool in_b = test_bit(old.b, u);
        if (in_a && in_b) {
          xor_row(row, mask_a, mask_b);
        } else {
          xor_row(row, in_a ? mask_b : mask_a);
        }
      }
    }
    rows_.forget_edge_count(rows * (old.words + row_visit_work));
  }

  void pivot_edges(Qubit a, Qubit b, const PivotClasses& classes) {
    const std::size_t touched =
        classes.common.size() + classes.a_only.size() + classes.b_only.size() + 1;
    if (pairs_are_cheaper(classes.toggled_pairs(), touched)) {
      pivot_by_pairs(*this, b, classes);
      return;
    }
    // Rows a and b change below, so the masks are built from copies.
    const RowCopies old = copy_rows(a, b);
    const ConstBitRow mask_a = old.a.subspan(old.offset, old.words);
    const ConstBitRow mask_b = old.b.subspan(old.offset, old.words);
    auto changing = [&](Qubit u) { return rows_.mutable_row(u).subspan(old.offset, old.words); };
    // The masks below hold b or miss it where b's pair should stay: its bit is set right after.
    auto gain_both_keep_b = [&](Qubit u) {
      const BitRow row = rows_.mutable_row(u);
      const bool had_b = test_bit(row, b);
      xor_row(changing(u), mask_a, mask_b);
      if (test_bit(row, b) != had_b) flip_bit(row, b);
    };
    for (const Qubit u : classes.common) gain_both_keep_b(u);  // gains N(a) xor N(b), not b
    gain_both_keep_b(b);                                       // gains a_only and b_only
    for (const Qubit u : classes.a_only) {                     // gains N(b) and b
      xor_row(changing(u), mask_b);
      flip_bit(rows_.mutable_row(u), b);
    }
    for (const Qubit u : classes.b_only) {  // gains N(a); a itself ends with no edges
      xor_row(changing(u), mask_a);
    }
    rows_.forget_edge_count(touched * (old.words + row_visit_work));
  }

  // The smaller of one toggle per pair and one row XOR per vertex, in SparseGraph's unit of cost
  // (half a toggle).
  std::size_t complement_cost(std::size_t degree) const {
    return std::min(degree * degree, degree * words_ / words_per_cost_unit + 1);
  }
  std::size_t pivot_cost(std::size_t degree_a, std::size_t degree_b) const {
    return std::min(2 * degree_a * degree_b,
                    (degree_a + degree_b) * words_ / words_per_cost_unit + 1);
  }

 private:
  // A single toggle costs about as much as XORing ten words of a row.
  static constexpr std::size_t toggle_cost_words = 10;
  static constexpr std::size_t words_per_cost_unit = toggle_cost_words / 2;

  // Copies of two rows, and the words from the first to the last that either has nonzero.
  struct RowCopies {
    ConstBitRow a;
    ConstBitRow b;
    std::size_t offset = 0;
    std::size_t words = 0;
  };

  // Copies of rows a and b in the scratch space, for masks that outlive changes to the rows.
  RowCopies copy_rows(Qubit a, Qubit b) {
    const BitRow copies = rows_.scratch();
    const BitRow copy_a = copies.first(words_);
    const BitRow copy_b = copies.subspan(words_, words_);
    std::ranges::copy(rows_.row(a), copy_a.begin());
    std::ranges::copy(rows_.row(b), copy_b.begin());
    const ConstBitRow span_a = nonzero_words(copy_a);
    const ConstBitRow span_b = nonzero_words(copy_b);
    if (span_a.empty() || span_b.empty()) {
      const ConstBitRow span = span_a.empty() ? span_b : span_a;
      const ConstBitRow whole = span_a.empty() ? copy_b : copy_a;
      return {copy_a, copy_b, static_cast<std::size_t>(span.data() - whole.data()), span.size()};
    }
    const auto first = static_cast<std::size_t>(
        std::min(span_a.data() - copy_a.data(), span_b.data() - copy_b.data()));
    const auto end =
        static_cast<std::size_t>(std::max(span_a.data() + span_a.size() - copy_a.data(),
                                          span_b.data() + span_b.size() - copy_b.data()));
    return {copy_a, copy_b, first, end - first};
  }

  bool pairs_are_cheaper(std::size_t pairs, std::size_t rows) const {
    return toggle_cost_words * pairs <= rows * words_;
  }

  Rows& rows_;
  std::size_t words_;
};

template <VopStore Vops, RowStore Rows>
DenseGraph<Vops, Rows> view_of(Vops& vops, Rows& rows) {
  return {vops, rows};
}

}  // namespace korvane::engine
