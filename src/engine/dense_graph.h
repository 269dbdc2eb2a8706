// The graph view over dense storage: a bit row per vertex (bit b of row a is the edge a-b) and
// a degree per vertex. Complementing a neighbourhood XORs one row into each neighbour's row, and
// the X measurement's pivot XORs one of three masks into each row it touches, so dense graphs
// change a word (64 pairs) at a time. Where few pairs change, single toggles are cheaper and are
// used instead.
//
// A store provides size, vop, set_vop, words() (per row), row(q), mutable_row(q) (addresses
// stay valid while other rows change), degree(q), set_degree(q, d), scratch() (two rows of
// working space) and count_edges.
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
  using VopAccess<Store>::store_;

 public:
  explicit DenseGraph(Store& store) : VopAccess<Store>(store), words_(store.words()) {}

  std::size_t degree(Qubit q) const { return store_.degree(q); }
  bool has_edge(Qubit a, Qubit b) const { return test_bit(store_.row(a), b); }

  void toggle_edge(Qubit a, Qubit b) {
    Word* const row_a = store_.mutable_row(a);
    Word* const row_b = store_.mutable_row(b);
    flip_bit(row_a, b);
    flip_bit(row_b, a);
    if (test_bit(row_a, b)) {
      store_.set_degree(a, store_.degree(a) + 1);
      store_.set_degree(b, store_.degree(b) + 1);
      store_.count_edges(1);
    } else {
      store_.set_degree(a, store_.degree(a) - 1);
      store_.set_degree(b, store_.degree(b) - 1);
      store_.count_edges(-1);
    }
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
    const std::size_t degree = store_.degree(v);
    if (degree < 2) return;
    if (pairs_are_cheaper(degree * (degree - 1) / 2, degree)) {
      QubitBuffer neighbors;
      neighbors_into(v, neighbors);
      complement_by_pairs(*this, neighbors);
      return;
    }
    // v's row is the mask: each neighbour u gains N(v) minus itself. Row v never changes here.
    const Word* const mask = store_.row(v);
    std::ptrdiff_t degree_change = 0;
    for_each_bit(mask, words_, [&](Qubit u) {
      Word* const row = store_.mutable_row(u);
      std::size_t count = xor_and_count(row, mask, words_);
      flip_bit(row, u);  // the mask holds u itself
      --count;
      degree_change +=
          static_cast<std::ptrdiff_t>(count) - static_cast<std::ptrdiff_t>(store_.degree(u));
      store_.set_degree(u, count);
    });
    store_.count_edges(degree_change / 2);
  }

  void isolate(Qubit v) {
    const std::size_t degree = store_.degree(v);
    if (degree == 0) return;
    for_each_bit(store_.row(v), words_, [&](Qubit u) {
      flip_bit(store_.mutable_row(u), v);
      store_.set_degree(u, store_.degree(u) - 1);
    });
    Word* const row = store_.mutable_row(v);
    std::fill(row, row + words_, Word{0});
    store_.set_degree(v, 0);
    store_.count_edges(-static_cast<std::ptrdiff_t>(degree));
  }

  void toggle_edges_to_neighbors(Qubit a, Qubit b, bool also_b) {
    // Row b is read in place: the toggles change rows a and c, never b. Each c flips its bit a;
    // row a takes all of row b at once, except a itself when a-b is an edge.
    const Word* const row_b = store_.row(b);
    const bool joined = test_bit(row_b, a);
    std::ptrdiff_t edge_change = 0;
    for_each_bit(row_b, words_, [&](Qubit c) {
      if (c == a) return;
      Word* const row_c = store_.mutable_row(c);
      flip_bit(row_c, a);
      const bool added = test_bit(row_c, a);
      store_.set_degree(c, added ? store_.degree(c) + 1 : store_.degree(c) - 1);
      edge_change += added ? 1 : -1;
    });
    Word* const row_a = store_.mutable_row(a);
    std::size_t count = xor_and_count(row_a, row_b, words_);
    if (joined) {
      flip_bit(row_a, a);
      --count;
    }
    store_.set_degree(a, count);
    store_.count_edges(edge_change);
    if (also_b) toggle_edge(a, b);
  }

  void pivot_edges(Qubit a, Qubit b, const PivotClasses& classes) {
    const std::size_t touched =
        classes.common.size() + classes.a_only.size() + classes.b_only.size() + 1;
    if (pairs_are_cheaper(classes.toggled_pairs(), touched)) {
      pivot_by_pairs(*this, b, classes);
      return;
    }
    // Rows a and b change below, so the masks are built from copies.
    Word* const old_a = store_.scratch();
    Word* const old_b = old_a + words_;
    std::copy(store_.row(a), store_.row(a) + words_, old_a);
    std::copy(store_.row(b), store_.row(b) + words_, old_b);
    std::ptrdiff_t degree_change = 0;
    auto record = [&](Qubit u, std::size_t count) {
      degree_change +=
          static_cast<std::ptrdiff_t>(count) - static_cast<std::ptrdiff_t>(store_.degree(u));
      store_.set_degree(u, count);
    };
    // The pair with b is toggled by the mask and toggled back, except for a_only and b_only.
    auto xor_both_keep_b = [&](Qubit u) {
      Word* const row = store_.mutable_row(u);
      std::size_t count = xor_and_count(row, old_a, old_b, words_);
      flip_bit(row, b);
      count = test_bit(row, b) ? count + 1 : count - 1;
      record(u, count);
    };
    for (const Qubit u : classes.common) xor_both_keep_b(u);  // gains N(a) xor N(b), not b
    xor_both_keep_b(b);                                       // gains a_only and b_only
    for (const Qubit u : classes.a_only) {                    // gains N(b) and b
      Word* const row = store_.mutable_row(u);
      const std::size_t count = xor_and_count(row, old_b, words_);
      flip_bit(row, b);
      record(u, count + 1);
    }
    for (const Qubit u : classes.b_only) {  // gains N(a); a itself ends with no edges
      record(u, xor_and_count(store_.mutable_row(u), old_a, words_));
    }
    store_.count_edges(degree_change / 2);
  }

  // Relative cost of complementing a neighbourhood of `degree` vertices, in the units of
  // SparseGraph::complement_cost.
  std::size_t complement_cost(std::size_t degree) const {
    return std::min(degree * degree, degree * words_ / 5 + 1);
  }

 private:
  // A single toggle costs about as much as XORing ten words of a row.
  bool pairs_are_cheaper(std::size_t pairs, std::size_t rows) const {
    return 10 * pairs <= rows * words_;
  }

  std::size_t words_;
};

}  // namespace korvane::engine
