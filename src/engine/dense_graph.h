// The graph view over dense storage: a bit row per vertex, bit b of row a being the edge a-b.
// Complementing a neighbourhood XORs one row into each neighbour's row, and the X measurement's
// pivot XORs one of three masks into each row it touches, so dense graphs change a word (64
// pairs) at a time. Where few pairs change, single toggles are cheaper and are used instead.
//
// Degrees are counted from the rows when asked for rather than kept up to date, which would cost
// a population count of every row a bulk change touches; for the same reason the register's
// edge count is only known again when recounted after bulk changes.
//
// A store provides size, vop, set_vop, words() (per row), row(q), mutable_row(q) (addresses stay
// valid while other rows change), scratch() (two rows of working space), count_edges(change)
// and forget_edge_count(words) for a bulk change of that many words.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/bit_row.h"
#include "engine/graph_common.h"
#include "engine/neighbor_set.h"
#include "engine/qubit_buffer.h"

namespace korvane::engine {

template <class Store>
class DenseGraph : public VopAccess<Store> {
 public:
  explicit DenseGraph(Store& store)
      : VopAccess<Store>(store), store_(store), words_(store.words()) {}

  std::size_t degree(Qubit q) const { return count_row(store_.row(q), words_); }
  bool has_neighbor(Qubit q) const {
    const Word* const row = store_.row(q);
    return std::any_of(row, row + words_, [](Word w) { return w != 0; });
  }
  bool has_neighbor_other_than(Qubit v, Qubit w) const {
    return has_bit_other_than(store_.row(v), words_, w);
  }
  bool has_edge(Qubit a, Qubit b) const { return test_bit(store_.row(a), b); }

  void toggle_edge(Qubit a, Qubit b) {
    Word* const row_a = store_.mutable_row(a);
    flip_bit(row_a, b);
    flip_bit(store_.mutable_row(b), a);
    store_.count_edges(test_bit(row_a, b) ? 1 : -1);
  }

  // `visit` must not change q's own row.
  template <class Visit>
  void for_each_neighbor(Qubit q, Visit&& visit) const {
    for_each_bit(store_.row(q), words_, visit);
  }

  // Visits q's neighbours while `visit` returns true.
  template <class Visit>
  void for_each_neighbor_while(Qubit q, Visit&& visit) const {
    const Word* const row = store_.row(q);
    for (std::size_t w = 0; w < words_; ++w) {
      for (Word bits = row[w]; bits != 0; bits &= bits - 1) {
        if (!visit(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)))) return;
      }
    }
  }

  void neighbors_into(Qubit q, QubitBuffer& list) const {
    for_each_bit(store_.row(q), words_, [&list](Qubit x) { list.push_back(x); });
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
    // v's row is the mask: each neighbour u gains N(v) minus itself. Row v never changes here.
    const Word* const mask = store_.row(v);
    for_each_bit(mask, words_, [&](Qubit u) {
      Word* const row = store_.mutable_row(u);
      xor_row(row, mask, words_);
      flip_bit(row, u);  // the mask holds u itself
    });
    store_.forget_edge_count(count * words_);
  }

  void isolate(Qubit v) {
    const std::size_t removed = degree(v);
    if (removed == 0) return;
    for_each_bit(store_.row(v), words_, [&](Qubit u) { flip_bit(store_.mutable_row(u), v); });
    Word* const row = store_.mutable_row(v);
    std::fill(row, row + words_, Word{0});
    store_.count_edges(-static_cast<std::ptrdiff_t>(removed));
  }

  void toggle_edges_to_neighbors(Qubit a, Qubit b, bool also_b) {
    // Row b is read in place: the toggles change rows a and c, never b. Each c flips its bit a,
    // and row a takes all of row b at once. When a-b is an edge, a is among the c and flips its
    // own bit, which row b's bit a flips back.
    const Word* const row_b = store_.row(b);
    std::size_t flipped = 0;
    for_each_bit(row_b, words_, [&](Qubit c) {
      flip_bit(store_.mutable_row(c), a);
      ++flipped;
    });
    xor_row(store_.mutable_row(a), row_b, words_);
    store_.forget_edge_count(flipped + words_);
    if (also_b) toggle_edge(a, b);
  }

  // Toggles every pair x-y with x in N(a) and y in N(b), x != y, counted with multiplicity (a
  // pair inside both neighbourhoods arises twice and stays). a and b must not be joined.
  void toggle_across_neighborhoods(Qubit a, Qubit b) {
    const std::size_t degree_a = degree(a);
    const std::size_t degree_b = degree(b);
    const std::size_t rows = degree_a + degree_b;
    if (pairs_are_cheaper(degree_a * degree_b, rows)) {
      toggle_across_by_pairs(*this, a, b);
      return;
    }
    const Word* const old_a = copy_rows(a, b);
    const Word* const old_b = old_a + words_;
    // u in N(a) gains N(b), u in N(b) gains N(a); u in both gains each and so never itself.
    for (std::size_t w = 0; w < words_; ++w) {
      for (Word bits = old_a[w] | old_b[w]; bits != 0; bits &= bits - 1) {
        const Qubit u = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
        Word* const row = store_.mutable_row(u);
        const bool in_a = test_bit(old_a, u);
        const bool in_b = test_bit(old_b, u);
        if (in_a && in_b) {
          xor_row(row, old_a, old_b, words_);
        } else {
          xor_row(row, in_a ? old_b : old_a, words_);
        }
      }
    }
    store_.forget_edge_count(rows * words_);
  }

  void pivot_edges(Qubit a, Qubit b, const PivotClasses& classes) {
    const std::size_t touched =
        classes.common.size() + classes.a_only.size() + classes.b_only.size() + 1;
    if (pairs_are_cheaper(classes.toggled_pairs(), touched)) {
      pivot_by_pairs(*this, b, classes);
      return;
    }
    // Rows a and b change below, so the masks are built from copies.
    const Word* const old_a = copy_rows(a, b);
    const Word* const old_b = old_a + words_;
    // The masks below hold b or miss it where b's pair should stay: its bit is set right after.
    auto gain_both_keep_b = [&](Qubit u) {
      Word* const row = store_.mutable_row(u);
      const bool had_b = test_bit(row, b);
      xor_row(row, old_a, old_b, words_);
      if (test_bit(row, b) != had_b) flip_bit(row, b);
    };
    for (const Qubit u : classes.common) gain_both_keep_b(u);  // gains N(a) xor N(b), not b
    gain_both_keep_b(b);                                       // gains a_only and b_only
    for (const Qubit u : classes.a_only) {                     // gains N(b) and b
      Word* const row = store_.mutable_row(u);
      xor_row(row, old_b, words_);
      flip_bit(row, b);
    }
    for (const Qubit u : classes.b_only) {  // gains N(a); a itself ends with no edges
      xor_row(store_.mutable_row(u), old_a, words_);
    }
    store_.forget_edge_count(touched * words_);
  }

  // Relative cost of complementing a neighbourhood of `degree` vertices, in the units of
  // SparseGraph::complement_cost.
  std::size_t complement_cost(std::size_t degree) const {
    return std::min(degree * degree, degree * words_ / 5 + 1);
  }
  // Relative cost of a pivot between neighbourhoods of the given sizes.
  std::size_t pivot_cost(std::size_t degree_a, std::size_t degree_b) const {
    return std::min(2 * degree_a * degree_b, (degree_a + degree_b) * words_ / 5 + 1);
  }

 private:
  // Copies rows a and b, one after the other, into the scratch space, for masks that outlive
  // changes to the rows; returns the copy of row a.
  const Word* copy_rows(Qubit a, Qubit b) {
    Word* const copies = store_.scratch();
    std::copy(store_.row(a), store_.row(a) + words_, copies);
    std::copy(store_.row(b), store_.row(b) + words_, copies + words_);
    return copies;
  }

  // A single toggle costs about as much as XORing ten words of a row.
  bool pairs_are_cheaper(std::size_t pairs, std::size_t rows) const {
    return 10 * pairs <= rows * words_;
  }

  Store& store_;
  std::size_t words_;
};

}  // namespace korvane::engine
