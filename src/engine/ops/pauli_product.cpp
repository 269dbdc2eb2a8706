#include "pauli_product.h"

#include <cstddef>
#include <unordered_map>

#include "controlled_gates.h"
#include "measure.h"

namespace korvane::engine {
namespace {

using clifford::Axis;

void check_indices(const Register& reg, const PauliProduct& product) {
  for (const PauliFactor& factor : product.factors) reg.check_index(factor.qubit);
}

// The first VOP whose conjugation carries the Pauli `from` onto +-`to`.
constexpr Vop basis_change(Axis from, Axis to) {
  for (Vop c = 0; c < clifford::vop_count; ++c) {
    if (clifford::image_axis(from, c) == to) return c;
  }
  return clifford::identity;
}

bool has_z_bit(Axis axis) { return axis != Axis::X; }

}  // namespace

// The state is C|G>, C the VOPs. The product P has the expectation of P' = C^dagger P C on |G>,
// whose stabilizers are the products of K_v = X_v Z_N(v) over sets S of vertices. Such a product
// has X or Y exactly on S, so P' is +-1 times one only for S = the qubits where P' has X or Y; it
// is then Z (or the Z half of Y) exactly where an odd number of neighbours lie in S, and its sign
// is (-1)^(edges within S + half the number of Y factors), from reordering X_v and Z_v.
int pauli_expectation(const Register& reg, const PauliProduct& product) {
  check_indices(reg, product);
  bool negative = product.negative;
  std::unordered_map<Qubit, Axis> graph_factors;
  graph_factors.reserve(product.factors.size());
  std::vector<Qubit> x_support;
  std::size_t y_factors = 0;
  for (const PauliFactor& factor : product.factors) {
    const Vop adjoint = clifford::adjoint(reg.vop(factor.qubit));
    const Axis axis = clifford::image_axis(factor.axis, adjoint);
    negative = negative != clifford::image_sign(adjoint, factor.axis);
    graph_factors.emplace(factor.qubit, axis);
    if (axis != Axis::Z) x_support.push_back(factor.qubit);
    if (axis == Axis::Y) ++y_factors;
  }
  std::unordered_map<Qubit, bool> odd_neighbors;
  std::size_t inner_edge_ends = 0;
  for (const Qubit v : x_support) {
    reg.for_each_neighbor(v, [&](Qubit w) {
      bool& odd = odd_neighbors[w];
      odd = !odd;
      const auto found = graph_factors.find(w);
      if (found != graph_factors.end() && found->second != Axis::Z) ++inner_edge_ends;
    });
  }
  for (const auto& [w, odd] : odd_neighbors) {
    if (!odd) continue;
    const auto found = graph_factors.find(w);
    if (found == graph_factors.end() || !has_z_bit(found->second)) return 0;
  }
  for (const auto& [q, axis] : graph_factors) {
    if (!has_z_bit(axis)) continue;
    const auto found = odd_neighbors.find(q);
    if (found == odd_neighbors.end() || !found->second) return 0;
  }
  const bool reorder_sign = ((inner_edge_ends / 2 + y_factors / 2) % 2) != 0;
  return negative != reorder_sign ? -1 : 1;
}

bool measure_pauli(Register& reg, const PauliProduct& product, RandomSource& source) {
  check_indices(reg, product);
  const std::vector<PauliFactor>& factors = product.factors;
  if (factors.empty()) return product.negative;
  if (factors.size() == 1) {
    return measure(reg, factors[0].qubit, factors[0].axis, source) != product.negative;
  }
  const int expectation = pauli_expectation(reg, product);
  if (expectation != 0) return expectation < 0;
  // A random outcome: basis changes turn the product into X on one qubit (the one of least
  // degree) and Z on the others, CZs from that qubit fold the Zs into its X, and a single-qubit
  // measurement of X remains. The same CZs and basis changes are undone afterwards.
  std::size_t pivot = 0;
  for (std::size_t i = 1; i < factors.size(); ++i) {
    if (reg.degree(factors[i].qubit) < reg.degree(factors[pivot].qubit)) pivot = i;
  }
  const Qubit folded = factors[pivot].qubit;
  bool negative = product.negative;
  std::vector<Vop> changes(factors.size());
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const Vop change = basis_change(factors[i].axis, i == pivot ? Axis::X : Axis::Z);
    negative = negative != clifford::image_sign(change, factors[i].axis);
    changes[i] = change;
    reg.apply_clifford(factors[i].qubit, change);
  }
  for (std::size_t i = 0; i < factors.size(); ++i) {
    if (i != pivot) cz(reg, folded, factors[i].qubit);
  }
  const bool outcome = measure(reg, folded, Axis::X, source);
  for (std::size_t i = 0; i < factors.size(); ++i) {
    if (i != pivot) cz(reg, folded, factors[i].qubit);
  }
  for (std::size_t i = 0; i < factors.size(); ++i) {
    reg.apply_clifford(factors[i].qubit, clifford::adjoint(changes[i]));
  }
  return outcome != negative;
}

}  // namespace korvane::engine
