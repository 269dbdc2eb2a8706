// A graph view: a graph with VOPs as the rules of the engine (local complementation, controlled-Z,
// measurement) read and change it. SparseGraph and DenseGraph are views over the two storages;
// each runs on a register's own storage or on a trial measurement's copy-on-write overlay of
// it, so every rule is written once, as a template over GraphView, and runs on all four.
//
// A view is made of two stores: one for the VOPs (VopStore) and one for the adjacency, which
// decides the kind of view (see sparse_graph.h and dense_graph.h).
#pragma once

#include <concepts>
#include <cstddef>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../containers/qubit_buffer.h"
#include "pair_toggles.h"

namespace korvane::engine {

using clifford::Vop;

// Where a view reads its VOPs; one that changes them also offers set_vop(q, vop).
template <class Store>
concept VopStore = requires(const Store& store, Qubit q) {
  { store.size() } -> std::same_as<std::size_t>;
  { store.vop(q) } -> std::same_as<Vop>;
};

// The VOP side of every view.
template <VopStore Vops>
class VopAccess {
 public:
  explicit VopAccess(Vops& vops) : vops_(vops) {}

  Vops& vops() const { return vops_; }
  std::size_t size() const { return vops_.size(); }
  Vop vop(Qubit q) const { return vops_.vop(q); }
  void set_vop(Qubit q, Vop vop) { vops_.set_vop(q, vop); }
  // vop <- product[vop][factor]: the factor acts on the bare graph state first.
  void multiply_right(Qubit q, Vop factor) {
    vops_.set_vop(q, clifford::product(vops_.vop(q), factor));
  }

 private:
  Vops& vops_;
};

// Stand-ins for the visitors that views take: one called with each neighbour, one that says
// whether to go on.
struct NeighborVisitor {
  void operator()(Qubit /*neighbor*/) const {}
};
struct NeighborPredicate {
  bool operator()(Qubit /*neighbor*/) const { return true; }
};

template <class Graph>
concept GraphView = requires(Graph& graph, const Graph& view, Qubit a, Qubit b, Vop vop,
                             std::size_t degree, bool flag, QubitBuffer& list,
                             const PivotClasses& classes) {
  // VOPs.
  { view.size() } -> std::same_as<std::size_t>;
  { view.vop(a) } -> std::same_as<Vop>;
  graph.set_vop(a, vop);
  graph.multiply_right(a, vop);
  // Reading the graph.
  { view.degree(a) } -> std::same_as<std::size_t>;
  { view.has_neighbor(a) } -> std::same_as<bool>;
  { view.has_neighbor_other_than(a, b) } -> std::same_as<bool>;
  { view.has_edge(a, b) } -> std::same_as<bool>;
  view.for_each_neighbor(a, NeighborVisitor{});
  view.for_each_neighbor_while(a, NeighborPredicate{});
  view.neighbors_into(a, list);
  // Changing it: one edge, or many at once where a storage does that faster than one by one.
  graph.toggle_edge(a, b);
  // Toggles every pair of a's neighbours.
  graph.complement_neighborhood(a);
  // Removes every edge of a.
  graph.isolate(a);
  // Toggles a-c for every neighbour c of b other than a, then a-b itself when `flag`.
  graph.toggle_edges_to_neighbors(a, b, flag);
  // Toggles every pair x-y with x in N(a), y in N(b), x != y, counted with multiplicity; a and
  // b are not joined.
  graph.toggle_across_neighborhoods(a, b);
  // The edge changes of an X measurement of a with neighbour b (pair_toggles.h).
  graph.pivot_edges(a, b, classes);
  // Relative costs of complementing a neighbourhood of `degree` vertices, and of a pivot
  // between neighbourhoods of the given sizes, in one unit for every view.
  { view.complement_cost(degree) } -> std::same_as<std::size_t>;
  { view.pivot_cost(degree, degree) } -> std::same_as<std::size_t>;
};

}  // namespace korvane::engine
