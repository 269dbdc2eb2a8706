// The graph view over dense adjacency of at most 64 qubits, where a whole row is one word: every
// change is a few word operations, with no spans, loops over words or choice between pairs and
// rows. It reads and changes the same store as DenseGraph and leaves exactly the graph that
// DenseGraph leaves, with the same costs, so the rules choose the same way on either.
#pragma once

#include <bit>
#include <cstddef>

#include "../base.h"
#include "../bits/bit_row.h"
#include "../containers/qubit_buffer.h"
#include "dense_graph.h"
#include "graph_view.h"
#include "pair_toggles.h"

namespace korvane::engine {

inline constexpr std::size_t small_graph_qubits = word_bits;

// Calls visit(q) for each set bit q of `bits`, lowest first, while it returns true.
template <class Visit>
void for_each_bit_of_word_while(Word bits, Visit&& visit) {
  for (; bits != 0; bits &= bits - 1) {
    if (!visit(static_cast<Qubit>(std::countr_zero(bits)))) return;
  }
}

template <class Visit>
void for_each_bit_of_word(Word bits, Visit&& visit) {
  for (; bits != 0; bits &= bits - 1) visit(static_cast<Qubit>(std::countr_zero(bits)));
}

template <VopStore Vops, RowStore Rows>
class SmallGraph : public VopAccess<Vops> {
 public:
  SmallGraph(Vops& vops, Rows& rows) : VopAccess<Vops>(vops), rows_(rows) {}

  Rows& adjacency() const { return rows_; }

  Word row(Qubit q) const { return rows_.row(q)[0]; }

  std::size_t degree(Qubit q) const { return count_bits(row(q)); }
  bool has_neighbor(Qubit q) const { return row(q) != 0; }
  bool has_neighbor_other_than(Qubit v, Qubit w) const { return (row(v) & ~bit_of(w)) != 0; }
  bool has_edge(Qubit a, Qubit b) const { return (row(a) & bit_of(b)) != 0; }

  void toggle_edge(Qubit a, Qubit b) {
    Word& row_a = word(a);
    row_a ^= bit_of(b);
    word(b) ^= bit_of(a);
    rows_.count_edges((row_a & bit_of(b)) != 0 ? 1 : -1);
  }
  void add_edge(Qubit a, Qubit b) { toggle_edge(a, b); }

  template <class Visit>
  void for_each_neighbor(Qubit q, Visit&& visit) const {
    for_each_bit_of_word(row(q), visit);
  }
  template <class Visit>
  void for_each_neighbor_while(Qubit q, Visit&& visit) const {
    for_each_bit_of_word_while(row(q), visit);
  }
  void neighbors_into(Qubit q, QubitBuffer& list) const {
    for_each_bit_of_word(row(q), [&list](Qubit x) { list.push_back(x); });
  }

  void complement_neighborhood(Qubit v) {
    const Word mask = row(v);
    for_each_bit_of_word(mask, [&](Qubit u) { word(u) ^= mask ^ bit_of(u); });
    rows_.forget_edge_count(count_bits(mask) * small_row_work);
  }

  void isolate(Qubit v) {
    Word& row_v = word(v);
    const Word removed = row_v;
    for_each_bit_of_word(removed, [&](Qubit u) { word(u) ^= bit_of(v); });
    row_v = 0;
    rows_.count_edges(-static_cast<std::ptrdiff_t>(count_bits(removed)));
  }

  void toggle_edges_to_neighbors(Qubit a, Qubit b, bool also_b) {
    // Each c in N(b) flips its bit a and row a takes all of row b; when a is among the c, row
    // b's bit a flips its own bit back.
    const Word mask = row(b);
    for_each_bit_of_word(mask, [&](Qubit c) { word(c) ^= bit_of(a); });
    word(a) ^= mask;
    rows_.forget_edge_count((count_bits(mask) + 1) * small_row_work);
    if (also_b) toggle_edge(a, b);
  }

  void toggle_across_neighborhoods(Qubit a, Qubit b) {
    const Word mask_a = row(a);
    const Word mask_b = row(b);
    // u in N(a) gains N(b), u in N(b) gains N(a), u in both gains each and so never itself.
    for_each_bit_of_word(mask_a | mask_b, [&](Qubit u) {
      const Word in_a = (mask_a >> u & 1) != 0 ? mask_b : 0;
      const Word in_b = (mask_b >> u & 1) != 0 ? mask_a : 0;
      word(u) ^= in_a ^ in_b;
    });
    rows_.forget_edge_count(count_bits(mask_a | mask_b) * small_row_work);
  }

  void pivot_edges(Qubit a, Qubit b, const PivotClasses& classes) {
    const Word mask_a = row(a);
    const Word mask_b = row(b);
    const Word b_bit = bit_of(b);
    // common gains N(a) xor N(b) but keeps its pair with b; b gains a_only and b_only; a_only
    // gains N(b) and b; b_only gains N(a), so that a ends with no edges.
    const Word both = (mask_a ^ mask_b) & ~b_bit;
    for (const Qubit u : classes.common) word(u) ^= both;
    word(b) ^= both;
    for (const Qubit u : classes.a_only) word(u) ^= mask_b ^ b_bit;
    for (const Qubit u : classes.b_only) word(u) ^= mask_a;
    rows_.forget_edge_count(
        (classes.common.size() + classes.a_only.size() + classes.b_only.size() + 1) *
        small_row_work);
  }

  // DenseGraph's costs for rows of one word, so that the rules choose as they do there.
  std::size_t complement_cost(std::size_t degree) const {
    return std::min(degree * degree, degree / words_per_cost_unit + 1);
  }
  std::size_t pivot_cost(std::size_t degree_a, std::size_t degree_b) const {
    return std::min(2 * degree_a * degree_b, (degree_a + degree_b) / words_per_cost_unit + 1);
  }

 private:
  static constexpr std::size_t words_per_cost_unit = 5;
  // The work of a row of one word in a bulk change: the word and the visit.
  static constexpr std::size_t small_row_work = 1 + row_visit_work;

  Word& word(Qubit q) { return rows_.mutable_row(q)[0]; }

  Rows& rows_;
};

template <VopStore Vops, RowStore Rows>
SmallGraph<Vops, Rows> small_view_of(Vops& vops, Rows& rows) {
  return {vops, rows};
}

}  // namespace korvane::engine
