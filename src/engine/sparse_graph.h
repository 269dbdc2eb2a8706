// The graph view over sparse storage: one NeighborSet per vertex, every change a toggle of one
// edge in two sets, each O(1). A store provides size, vop, set_vop, set(q) (read-only),
// mutable_set(q) (whose references stay valid while other sets are changed) and count_edges.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/graph_common.h"
#include "engine/neighbor_set.h"
#include "engine/qubit_buffer.h"

namespace korvane::engine {

template <class Store>
class SparseGraph : public VopAccess<Store> {
 public:
  explicit SparseGraph(Store& store) : VopAccess<Store>(store), store_(store) {}

  std::size_t degree(Qubit q) const { return store_.set(q).size(); }
  bool has_neighbor(Qubit q) const { return !store_.set(q).empty(); }
  bool has_neighbor_other_than(Qubit v, Qubit w) const {
    const NeighborSet& neighbors = store_.set(v);
    return neighbors.size() > 1 || (neighbors.size() == 1 && !neighbors.contains(w));
  }

  // Looks in the smaller of the two sets.
  bool has_edge(Qubit a, Qubit b) const {
    const NeighborSet& set_a = store_.set(a);
    const NeighborSet& set_b = store_.set(b);
    return set_a.size() <= set_b.size() ? set_a.contains(b) : set_b.contains(a);
  }

  void toggle_edge(Qubit a, Qubit b) {
    if (has_edge(a, b)) {
      store_.mutable_set(a).erase(b);
      store_.mutable_set(b).erase(a);
      store_.count_edges(-1);
      return;
    }
    NeighborSet& set_a = store_.mutable_set(a);
    NeighborSet& set_b = store_.mutable_set(b);
    // Room in both sets first, so a refused allocation leaves the edge wholly absent.
    set_a.reserve_one_more(store_.size());
    set_b.reserve_one_more(store_.size());
    set_a.insert_reserved(b);
    set_b.insert_reserved(a);
    store_.count_edges(1);
  }

  // `visit` must not change q's own set.
  template <class Visit>
  void for_each_neighbor(Qubit q, Visit&& visit) const {
    store_.set(q).for_each(visit);
  }

  // Visits q's neighbours while `visit` returns true.
  template <class Visit>
  void for_each_neighbor_while(Qubit q, Visit&& visit) const {
    store_.set(q).for_each_while(visit);
  }

  void neighbors_into(Qubit q, QubitBuffer& list) const {
    store_.set(q).for_each([&list](Qubit x) { list.push_back(x); });
  }

  // Toggles every pair of v's neighbours.
  void complement_neighborhood(Qubit v) {
    QubitBuffer neighbors;
    neighbors_into(v, neighbors);
    complement_by_pairs(*this, neighbors);
  }

  // Removes every edge of v.
  void isolate(Qubit v) {
    NeighborSet& neighbors = store_.mutable_set(v);
    const std::size_t removed = neighbors.size();
    neighbors.for_each([&](Qubit x) { store_.mutable_set(x).erase(v); });
    neighbors.clear();
    store_.count_edges(-static_cast<std::ptrdiff_t>(removed));
  }

  // Toggles a-c for every neighbour c of b other than a, then a-b itself when `also_b`.
  void toggle_edges_to_neighbors(Qubit a, Qubit b, bool also_b) {
    // b's set is read in place: the toggles touch a and c, never b.
    store_.set(b).for_each([&](Qubit c) {
      if (c != a) toggle_edge(a, c);
    });
    if (also_b) toggle_edge(a, b);
  }

  void toggle_across_neighborhoods(Qubit a, Qubit b) { toggle_across_by_pairs(*this, a, b); }

  void pivot_edges(Qubit /*a*/, Qubit b, const PivotClasses& classes) {
    pivot_by_pairs(*this, b, classes);
  }

  // Relative cost of complementing a neighbourhood of `degree` vertices: one toggle per pair.
  static std::size_t complement_cost(std::size_t degree) { return degree * degree; }
  // Relative cost of a pivot between neighbourhoods of the given sizes.
  static std::size_t pivot_cost(std::size_t degree_a, std::size_t degree_b) {
    return 2 * degree_a * degree_b;
  }

 private:
  Store& store_;
};

}  // namespace korvane::engine
