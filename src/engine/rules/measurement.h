// Measurement of X, Y or Z on one qubit of a graph state with VOPs. The requested Pauli is carried
// through the qubit's VOP to the Pauli measured on the bare graph state (the graph axis), and one
// rule per graph axis rewrites edges and VOPs for a random bit r:
//  - Z: the qubit loses its edges; for r = 1 its former neighbours gain Z;
//  - Y: its neighbourhood is complemented and it loses its edges, with S (or S^dagger) on it and
//    on every former neighbour;
//  - X: a pivot about the qubit a and one neighbour b: every pair of vertices from two different
//    classes of {N(a) and N(b), N(a) only, b, N(b) only} is toggled, except those between the
//    common class and b, with VOP corrections on b, on a (r = 1) and on one "only" class.
// Any neighbour serves as b; the one of least degree among the first few makes the fewest
// toggles. The graph axis X on a qubit without edges is the one certain outcome.
#pragma once

#include <array>
#include <cstddef>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../graph/graph_view.h"
#include "../graph/pair_toggles.h"
#include "../random/random_source.h"
#include "lightest_neighbor.h"
#include "local_complementation.h"

namespace korvane::engine {

template <GraphView Graph>
void measure_graph_y(Graph& graph, Qubit a, bool r) {
  const Vop phase = r ? clifford::s_dagger : clifford::s_gate;
  graph.for_each_neighbor(a, [&](Qubit x) { graph.multiply_right(x, phase); });
  graph.complement_neighborhood(a);
  graph.isolate(a);
  graph.multiply_right(a, phase);
}

template <GraphView Graph>
void measure_graph_z(Graph& graph, Qubit a, bool r) {
  if (r) graph.for_each_neighbor(a, [&](Qubit x) { graph.multiply_right(x, clifford::pauli_z); });
  graph.isolate(a);
  if (r) graph.multiply_right(a, clifford::pauli_x);
  graph.multiply_right(a, clifford::hadamard);
}

template <GraphView Graph>
void measure_graph_x(Graph& graph, Qubit a, Qubit b, const PivotClasses& classes, bool r) {
  if (!r) {
    graph.multiply_right(b, clifford::plus_sqrt_iy);
    for (const Qubit x : classes.a_only) graph.multiply_right(x, clifford::pauli_z);
  } else {
    graph.multiply_right(b, clifford::minus_sqrt_iy);
    graph.multiply_right(a, clifford::pauli_z);
    for (const Qubit x : classes.b_only)
      if (x != a) graph.multiply_right(x, clifford::pauli_z);
  }
  graph.pivot_edges(a, b, classes);
}

// A pivot about a leaf a (b its one neighbour) has a single class: b_only, all of N(b). On views
// that make the pivots of few vertices one toggle per pair (SparseGraph), it is measured without
// classifying, with the same draws, toggles and VOP changes in the same order.
template <class Graph>
concept PivotsFewByPairs = Graph::pivots_few_by_pairs;

inline constexpr std::size_t most_leaf_pivot_neighbors = 8;

template <GraphView Graph>
bool measure_graph_x_about_leaf(Graph& graph, Qubit a, Qubit b, RandomSource& source) {
  std::array<Qubit, most_leaf_pivot_neighbors> b_only{};
  std::size_t count = 0;
  graph.for_each_neighbor(b, [&](Qubit y) { b_only[count++] = y; });
  const bool r = random_bit(source);
  if (!r) {
    graph.multiply_right(b, clifford::plus_sqrt_iy);
  } else {
    graph.multiply_right(b, clifford::minus_sqrt_iy);
    graph.multiply_right(a, clifford::pauli_z);
    for (std::size_t i = 0; i < count; ++i)
      if (b_only[i] != a) graph.multiply_right(b_only[i], clifford::pauli_z);
  }
  for (std::size_t i = 0; i < count; ++i) graph.toggle_edge(b, b_only[i]);
  return r;
}

// The Y rule complements q's whole neighbourhood. When q has a much lighter neighbour w (the hub
// of a star has leaves), complementing about w instead multiplies q's VOP by S, which turns the
// graph axis into X, and the X rule's pivot with a light neighbour then toggles about as many
// pairs as q has neighbours: linear instead of quadratic work for the same state. The detour is
// taken only where it saves at least half the work.
inline constexpr std::size_t least_degree_for_detour = 3;
inline constexpr std::size_t detour_saving_factor = 2;

template <GraphView Graph>
void turn_y_into_x_when_cheaper(Graph& graph, Qubit q) {
  const std::size_t degree = graph.degree(q);
  if (degree < least_degree_for_detour) return;
  const Qubit w = lightest_neighbor(graph, q);
  const std::size_t w_degree = graph.degree(w);
  const std::size_t y_rule_cost = graph.complement_cost(degree);
  const std::size_t detour_cost =
      graph.complement_cost(w_degree) + graph.pivot_cost(degree + w_degree, w_degree + 1);
  if (detour_saving_factor * detour_cost < y_rule_cost) complement_locally(graph, w);
}

// Measures `axis` on q (in range) and returns the outcome bit (true = -1). Draws exactly one
// 32-bit number for a random outcome, none for a certain one; what can fail for lack of memory is
// prepared before the number is drawn.
template <GraphView Graph>
bool measure_on(Graph& graph, Qubit q, clifford::Axis axis, RandomSource& source) {
  if (clifford::image_axis(axis, clifford::adjoint(graph.vop(q))) == clifford::Axis::Y) {
    turn_y_into_x_when_cheaper(graph, q);
  }
  const Vop adjoint = clifford::adjoint(graph.vop(q));
  const clifford::Axis graph_axis = clifford::image_axis(axis, adjoint);
  const bool sign_flip = clifford::image_sign(adjoint, axis);
  if (graph_axis == clifford::Axis::X) {
    if (!graph.has_neighbor(q)) return sign_flip;
    const Qubit b = lightest_neighbor(graph, q);
    if constexpr (PivotsFewByPairs<Graph>) {
      if (!graph.has_neighbor_other_than(q, b) && graph.degree(b) <= most_leaf_pivot_neighbors) {
        return sign_flip != measure_graph_x_about_leaf(graph, q, b, source);
      }
    }
    PivotClasses classes;
    classify_pivot(graph, q, b, classes);
    const bool r = random_bit(source);
    measure_graph_x(graph, q, b, classes, r);
    return sign_flip != r;
  }
  const bool r = random_bit(source);
  if (graph_axis == clifford::Axis::Y) {
    measure_graph_y(graph, q, r);
  } else {
    measure_graph_z(graph, q, r);
  }
  return sign_flip != r;
}

}  // namespace korvane::engine
