// The signed stabilizer generators of a graph state with vertex operators, from the graph as plain
// data. The state: every qubit |+>, CZ along every edge, then each qubit's VOP C_v. Qubit v's
// generator is C (X_v Z_N(v)) C^dagger with C the product of all VOPs; each VOP's action on X and
// Z is worked out from its 2x2 matrix, not from the engine's tables.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "clifford_matrices.h"
#include "korvane/clifford/local_clifford.h"
#include "pauli_string.h"

namespace korvane::testing {

struct GraphDescription {
  std::size_t qubits;
  std::vector<std::uint8_t> vops;  // one VOP index 0..23 per qubit
  std::vector<std::pair<std::size_t, std::size_t>> edges;
};

// A Pauli along `axis`, times -1 when `negative`.
struct SignedAxis {
  clifford::Axis axis;
  bool negative;
};

// C P C^dagger for the VOP matrix C and a Pauli P, matched against +-X, +-Y, +-Z.
inline SignedAxis conjugated_pauli(const Matrix2& c, clifford::Axis pauli) {
  const Matrix2 image =
      multiply(multiply(c, pauli_matrix(static_cast<std::size_t>(pauli))), dagger(c));
  for (const clifford::Axis axis : {clifford::Axis::X, clifford::Axis::Y, clifford::Axis::Z}) {
    const Matrix2& candidate = pauli_matrix(static_cast<std::size_t>(axis));
    bool plus = true;
    bool minus = true;
    for (std::size_t i = 0; i < 4; ++i) {
      plus = plus && std::abs(image[i] - candidate[i]) < 1e-9;
      minus = minus && std::abs(image[i] + candidate[i]) < 1e-9;
    }
    if (plus || minus) return {axis, minus};
  }
  throw std::logic_error("a VOP matrix does not map a Pauli onto a Pauli");
}

// The images of X and of Z under each of the 24 VOPs, by VOP index.
struct VopAction {
  SignedAxis x_image;
  SignedAxis z_image;
};

inline const std::array<VopAction, clifford::vop_count>& vop_actions() {
  static const std::array<VopAction, clifford::vop_count> actions = [] {
    std::array<VopAction, clifford::vop_count> table{};
    for (std::size_t v = 0; v < clifford::vop_count; ++v)
      table[v] = {conjugated_pauli(clifford_matrix(v), clifford::Axis::X),
                  conjugated_pauli(clifford_matrix(v), clifford::Axis::Z)};
    return table;
  }();
  return actions;
}

// One generator per qubit, in qubit order. An edge listed twice cancels, as two CZs do.
inline std::vector<PauliString> graph_state_generators(const GraphDescription& graph) {
  const std::size_t n = graph.qubits;
  if (graph.vops.size() != n) throw std::invalid_argument("one VOP per qubit is needed");
  for (const std::uint8_t vop : graph.vops)
    if (vop >= clifford::vop_count) throw std::invalid_argument("a VOP index is not below 24");
  // First X_v Z_N(v), the neighbourhood as Z bits; then each factor goes through its VOP.
  std::vector<PauliString> generators;
  generators.reserve(n);
  for (std::size_t v = 0; v < n; ++v)
    generators.push_back(PauliString::single(n, v, clifford::Axis::X));
  for (const auto& [a, b] : graph.edges) {
    if (a >= n || b >= n || a == b)
      throw std::invalid_argument("an edge is a loop or out of range");
    generators[a].set(b, false, !generators[a].z(b));
    generators[b].set(a, false, !generators[b].z(a));
  }
  const auto& actions = vop_actions();
  for (std::size_t v = 0; v < n; ++v) {
    PauliString& generator = generators[v];
    bool negative = false;
    for (std::size_t w = 0; w < n; ++w) {
      if (!generator.x(w) && !generator.z(w)) continue;
      const VopAction& action = actions[graph.vops[w]];
      const SignedAxis image = w == v ? action.x_image : action.z_image;
      const PauliBits bits = bits_of(image.axis);
      generator.set(w, bits.x, bits.z);
      negative = negative != image.negative;
    }
    generator.set_negative(negative);
  }
  return generators;
}

}  // namespace korvane::testing
