// What the two adjacency storages share: VOP access, and graph changes written as single edge
// toggles, which every storage can run and which cost exactly the number of pairs toggled.
//
// A graph view (SparseGraph or DenseGraph over a store) offers: size, vop, set_vop,
// multiply_right, degree, has_neighbor, has_neighbor_other_than, has_edge, toggle_edge,
// for_each_neighbor, for_each_neighbor_while, neighbors_into, complement_neighborhood, isolate,
// toggle_edges_to_neighbors, toggle_across_neighborhoods, pivot_edges and complement_cost. The
// operations (controlled-Z, measurement, local complementation) are templates over such a view, so
// they run alike on the register and on a trial measurement's copy-on-write overlay.
#pragma once

#include <cstddef>

#include "clifford/local_clifford.h"
#include "engine/neighbor_set.h"
#include "engine/qubit_buffer.h"

namespace korvane::engine {

using clifford::Vop;

template <class Store>
class VopAccess {
 public:
  explicit VopAccess(Store& store) : vops_(store) {}

  std::size_t size() const { return vops_.size(); }
  Vop vop(Qubit q) const { return vops_.vop(q); }
  void set_vop(Qubit q, Vop vop) { vops_.set_vop(q, vop); }
  // vop <- product[vop][factor]: the factor acts on the bare graph state first.
  void multiply_right(Qubit q, Vop factor) {
    vops_.set_vop(q, clifford::product(vops_.vop(q), factor));
  }

 private:
  Store& vops_;
};

// The neighbourhoods around an X measurement of a with special neighbour b, split into classes
// (taken before any change): common = N(a) and N(b); a_only = N(a) without N(b) and without b;
// b_only = N(b) without N(a), which holds a itself.
struct PivotClasses {
  QubitBuffer common;
  QubitBuffer a_only;
  QubitBuffer b_only;

  // Pairs the X measurement toggles: every pair drawn from two different classes of common,
  // a_only, {b}, b_only, except those between common and b.
  std::size_t toggled_pairs() const {
    return common.size() * (a_only.size() + b_only.size()) + a_only.size() * b_only.size() +
           a_only.size() + b_only.size();
  }
};

// Neighbours examined when looking for a cheap one: enough to find a low degree, bounded so that
// a hub's huge neighbourhood is not scanned for it.
inline constexpr std::size_t neighbor_candidates = 8;

// The neighbour of v of least degree among the first few examined. v must have a neighbour.
template <class Graph>
Qubit lightest_neighbor(const Graph& graph, Qubit v) {
  Qubit best = 0;
  std::size_t best_degree = 0;
  std::size_t examined = 0;
  graph.for_each_neighbor_while(v, [&](Qubit w) {
    const std::size_t degree = graph.degree(w);
    if (examined == 0 || degree < best_degree) {
      best = w;
      best_degree = degree;
    }
    return ++examined < neighbor_candidates && best_degree > 1;
  });
  return best;
}

template <class Graph>
void classify_pivot(const Graph& graph, Qubit a, Qubit b, PivotClasses& classes) {
  graph.for_each_neighbor(a, [&](Qubit x) {
    if (x == b) return;
    if (graph.has_edge(b, x)) {
      classes.common.push_back(x);
    } else {
      classes.a_only.push_back(x);
    }
  });
  graph.for_each_neighbor(b, [&](Qubit y) {
    if (y == a || !graph.has_edge(a, y)) classes.b_only.push_back(y);
  });
}

template <class Graph>
void toggle_between(Graph& graph, const QubitBuffer& first, const QubitBuffer& second) {
  for (const Qubit x : first)
    for (const Qubit y : second) graph.toggle_edge(x, y);
}

template <class Graph>
void toggle_star(Graph& graph, Qubit center, const QubitBuffer& others) {
  for (const Qubit x : others) graph.toggle_edge(center, x);
}

// The edge changes of an X measurement, one toggle per pair.
template <class Graph>
void pivot_by_pairs(Graph& graph, Qubit b, const PivotClasses& classes) {
  toggle_between(graph, classes.common, classes.a_only);
  toggle_between(graph, classes.common, classes.b_only);
  toggle_between(graph, classes.a_only, classes.b_only);
  toggle_star(graph, b, classes.a_only);
  toggle_star(graph, b, classes.b_only);
}

// Toggles x-y for every x in N(a) and y in N(b), x != y, counted with multiplicity: a pair of
// common neighbours arises twice and stays.
template <class Graph>
void toggle_across_by_pairs(Graph& graph, Qubit a, Qubit b) {
  QubitBuffer neighbors_a;
  QubitBuffer neighbors_b;
  graph.neighbors_into(a, neighbors_a);
  graph.neighbors_into(b, neighbors_b);
  for (const Qubit x : neighbors_a)
    for (const Qubit y : neighbors_b)
      if (x != y) graph.toggle_edge(x, y);
}

// Toggles every pair among the entries of `list`.
template <class Graph>
void complement_by_pairs(Graph& graph, const QubitBuffer& list) {
  for (std::size_t i = 0; i < list.size(); ++i)
    for (std::size_t j = i + 1; j < list.size(); ++j) graph.toggle_edge(list[i], list[j]);
}

}  // namespace korvane::engine
