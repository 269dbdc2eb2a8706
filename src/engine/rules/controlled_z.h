// The controlled-Z gate on a graph state with VOPs, as rules whose cost follows the edges that
// really change.
//
// With VOPs C_a and C_b, CZ (C_a x C_b) |G> = (C_a x C_b) M |G>, where M = (I + P + Q - PQ) / 2
// for the signed Paulis P = C_a^dagger Z C_a and Q = C_b^dagger Z C_b: a controlled-Pauli gate on
// the bare graph state. A sign on P contributes the Pauli of Q to b afterwards and a sign on Q
// the Pauli of P to a, so only the axes matter. When P's axis is Z, M is controlled by Z_a and
// the stabilizer X_b Z_N(b) of the graph state turns it into controlled-Zs from a:
//  - Q on Z: CZ itself, toggling the edge a-b;
//  - Q on X: X_b acts as Z on b's neighbours, toggling a-c for every c in N(b) other than a,
//    with a Z on a when a is one of them;
//  - Q on Y: Y_b acts as -i Z_b Z_N(b), toggling a-b as well and adding S^dagger to a.
// Both on X with a and b apart, M is a controlled-Z across the two neighbourhoods. Otherwise one
// operand is first given a Z-type VOP by local complementations (which leave the state as it
// is), choosing the cheapest; a pair with no other neighbours reads the table, and an isolated
// qubit in a Z eigenstate acts classically.
#pragma once

#include <array>
#include <cstddef>
#include <limits>

#include "../../clifford/cz_table.h"
#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../graph/graph_view.h"
#include "lightest_neighbor.h"
#include "local_complementation.h"

namespace korvane::engine {

// C^dagger Z C for a VOP C: an axis and whether it carries a minus sign.
struct ZImage {
  clifford::Axis axis;
  bool negative;
};

constexpr std::array<ZImage, clifford::vop_count> make_z_image_table() {
  std::array<ZImage, clifford::vop_count> table{};
  for (std::size_t vop = 0; vop < clifford::vop_count; ++vop) {
    const Vop adjoint = clifford::adjoint(static_cast<Vop>(vop));
    table[vop] = {clifford::image_axis(clifford::Axis::Z, adjoint),
                  clifford::image_sign(adjoint, clifford::Axis::Z)};
  }
  return table;
}

inline constexpr std::array<ZImage, clifford::vop_count> z_image_table = make_z_image_table();

inline ZImage z_image(Vop vop) { return z_image_table[vop]; }

// The Pauli of an axis: X, Y and Z are numbered in the same order as the axes.
constexpr Vop pauli_of(clifford::Axis axis) {
  return static_cast<Vop>(clifford::pauli_x + static_cast<unsigned>(axis));
}

// M for P on Z (a is the Z-type operand): `a_negative` is P's sign, `b_image` is Q.
template <GraphView Graph>
void controlled_pauli_from_z(Graph& graph, Qubit a, bool a_negative, Qubit b, ZImage b_image) {
  switch (b_image.axis) {
    case clifford::Axis::Z:
      graph.toggle_edge(a, b);
      break;
    case clifford::Axis::X: {
      const bool joined = graph.has_edge(a, b);
      graph.toggle_edges_to_neighbors(a, b, false);
      if (joined) graph.multiply_right(a, clifford::pauli_z);
      break;
    }
    case clifford::Axis::Y: {
      const bool joined = graph.has_edge(a, b);
      graph.toggle_edges_to_neighbors(a, b, true);
      graph.multiply_right(a, clifford::s_dagger);
      if (joined) graph.multiply_right(a, clifford::pauli_z);
      break;
    }
  }
  if (b_image.negative) graph.multiply_right(a, clifford::pauli_z);
  if (a_negative) graph.multiply_right(b, pauli_of(b_image.axis));
}

// M for P and Q both on X, with a and b not joined: X_a and X_b act on the graph state as Z on
// N(a) and on N(b), and M becomes (-1)^(parity over N(a) * parity over N(b)): a controlled-Z
// across every pair of the two neighbourhoods and a Z on each common neighbour.
template <GraphView Graph>
void controlled_pauli_both_x(Graph& graph, Qubit a, bool a_negative, Qubit b, bool b_negative) {
  graph.for_each_neighbor(a, [&](Qubit x) {
    if (graph.has_edge(b, x)) graph.multiply_right(x, clifford::pauli_z);
  });
  graph.toggle_across_neighborhoods(a, b);
  if (b_negative) graph.multiply_right(a, clifford::pauli_x);
  if (a_negative) graph.multiply_right(b, clifford::pauli_x);
}

// Rewrites the representation, without changing the state, so that the VOP of a or of b maps Z
// to +-Z; both map it to X or Y on entry and each has a neighbour or maps it to Y.
template <GraphView Graph>
void give_z_type(Graph& graph, Qubit a, Qubit b) {
  struct Plan {
    std::size_t cost = std::numeric_limits<std::size_t>::max();
    Qubit vertex = 0;
    Qubit first_step = 0;  // a neighbour to complement first, for an X image
    bool x_image = false;
  };
  Plan best;
  for (const Qubit v : {a, b}) {
    const std::size_t degree = graph.degree(v);
    Plan plan;
    plan.vertex = v;
    if (z_image(graph.vop(v)).axis == clifford::Axis::Y) {
      // Complementing about v multiplies its VOP by C_14, which carries Y onto Z; an isolated
      // qubit only needs the VOP change, since C_14 |+> is |+> up to a phase.
      plan.cost = degree == 0 ? 0 : graph.complement_cost(degree);
    } else {
      // X: complementing about a neighbour first multiplies v's VOP by S, carrying X onto Y.
      plan.x_image = true;
      plan.first_step = lightest_neighbor(graph, v);
      const std::size_t step_degree = graph.degree(plan.first_step);
      plan.cost = graph.complement_cost(step_degree) + graph.complement_cost(degree + step_degree);
    }
    if (plan.cost < best.cost) best = plan;
  }
  if (best.x_image) complement_locally(graph, best.first_step);
  if (!graph.has_neighbor(best.vertex)) {
    graph.multiply_right(best.vertex, clifford::plus_sqrt_ix);
  } else {
    complement_locally(graph, best.vertex);
  }
}

// CZ between a and b (distinct, in range).
template <GraphView Graph>
void apply_cz(Graph& graph, Qubit a, Qubit b) {
  if (!graph.has_neighbor_other_than(a, b) && !graph.has_neighbor_other_than(b, a)) {
    // A component of two qubits at most: the table holds every case.
    const bool joined = graph.has_edge(a, b);
    const clifford::CzEntry entry = clifford::cz_lookup(joined, graph.vop(a), graph.vop(b));
    if ((entry.edge == 1) != joined) graph.toggle_edge(a, b);
    graph.set_vop(a, entry.first);
    graph.set_vop(b, entry.second);
    return;
  }
  ZImage a_image = z_image(graph.vop(a));
  ZImage b_image = z_image(graph.vop(b));
  // An isolated qubit whose VOP maps Z to +-X is in a Z eigenstate, |1> for the minus sign: the
  // gate is then a Z on the other qubit, or nothing.
  if (a_image.axis == clifford::Axis::X && !graph.has_neighbor(a)) {
    if (a_image.negative) graph.set_vop(b, clifford::product(clifford::pauli_z, graph.vop(b)));
    return;
  }
  if (b_image.axis == clifford::Axis::X && !graph.has_neighbor(b)) {
    if (b_image.negative) graph.set_vop(a, clifford::product(clifford::pauli_z, graph.vop(a)));
    return;
  }
  if (a_image.axis == clifford::Axis::X && b_image.axis == clifford::Axis::X &&
      !graph.has_edge(a, b)) {
    controlled_pauli_both_x(graph, a, a_image.negative, b, b_image.negative);
    return;
  }
  if (a_image.axis != clifford::Axis::Z && b_image.axis != clifford::Axis::Z) {
    give_z_type(graph, a, b);
    a_image = z_image(graph.vop(a));
    b_image = z_image(graph.vop(b));
  }
  if (a_image.axis == clifford::Axis::Z) {
    controlled_pauli_from_z(graph, a, a_image.negative, b, b_image);
  } else {
    controlled_pauli_from_z(graph, b, b_image.negative, a, a_image);
  }
}

}  // namespace korvane::engine
