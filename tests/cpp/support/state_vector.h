// An exact state-vector reference for small registers, written from the state formula and the
// gates' definitions alone, so that tests can check the engine's representation against it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "clifford_matrices.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/register.h"

namespace korvane::testing {

// Basis index bit q is qubit q.
using Amplitudes = std::vector<Complex>;

class StateVector {
 public:
  // |0...0>.
  explicit StateVector(std::size_t qubit_count)
      : qubit_count_(qubit_count), amplitudes_(std::size_t{1} << qubit_count) {
    if (qubit_count > 20) throw std::invalid_argument("StateVector: too many qubits");
    amplitudes_[0] = 1.0;
  }

  // The graph-state formula: every qubit |+>, CZ on every edge, then each qubit's VOP.
  static StateVector from_register(const engine::Register& reg) {
    const std::size_t n = reg.size();
    StateVector state(n);
    const double amplitude = 1.0 / std::sqrt(static_cast<double>(std::size_t{1} << n));
    std::fill(state.amplitudes_.begin(), state.amplitudes_.end(), Complex{amplitude, 0.0});
    for (std::size_t a = 0; a < n; ++a)
      for (const std::size_t b : reg.neighbors(a))
        if (a < b) state.cz(a, b);
    for (std::size_t q = 0; q < n; ++q) state.apply_vop(q, reg.vop(q));
    return state;
  }

  std::size_t qubit_count() const { return qubit_count_; }
  const Amplitudes& amplitudes() const { return amplitudes_; }

  void apply(std::size_t q, const Matrix2& m) {
    const std::size_t bit = std::size_t{1} << q;
    for (std::size_t i = 0; i < amplitudes_.size(); ++i) {
      if (i & bit) continue;
      const Complex a0 = amplitudes_[i];
      const Complex a1 = amplitudes_[i | bit];
      amplitudes_[i] = m[0] * a0 + m[1] * a1;
      amplitudes_[i | bit] = m[2] * a0 + m[3] * a1;
    }
  }

  void apply_vop(std::size_t q, clifford::Vop v) { apply(q, clifford_matrix(v)); }

  void cz(std::size_t a, std::size_t b) {
    const std::size_t both = (std::size_t{1} << a) | (std::size_t{1} << b);
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      if ((i & both) == both) amplitudes_[i] = -amplitudes_[i];
  }

  // P+ (x) I + P- (x) U, with P+- the projectors on the +-1 eigenspaces of the control's Pauli
  // (Z for cz/cx/cy, X for xc*, Y for yc*) and U the target's Pauli.
  void controlled(engine::ControlledPauli gate, std::size_t control, std::size_t target) {
    controlled_by_axes(gate.control, gate.target, control, target);
  }

  // The same for any Paulis of control and target.
  void controlled_by_axes(clifford::Axis control_axis, clifford::Axis target_axis,
                          std::size_t control, std::size_t target) {
    StateVector plus = *this;
    plus.project_unnormalised(control, control_axis, false);
    StateVector minus = *this;
    minus.project_unnormalised(control, control_axis, true);
    minus.apply(target, pauli_matrix(static_cast<std::size_t>(target_axis)));
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      amplitudes_[i] = plus.amplitudes_[i] + minus.amplitudes_[i];
  }

  // Exchanges qubits a and b.
  void swap(std::size_t a, std::size_t b) {
    const std::size_t bit_a = std::size_t{1} << a;
    const std::size_t bit_b = std::size_t{1} << b;
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      if ((i & bit_a) != 0 && (i & bit_b) == 0)
        std::swap(amplitudes_[i], amplitudes_[i ^ bit_a ^ bit_b]);
  }

  // Probability that measuring Pauli `axis` on q gives +1 (minus_one = false) or -1 (true).
  double probability(std::size_t q, clifford::Axis axis, bool minus_one) const {
    StateVector projected = *this;
    projected.project_unnormalised(q, axis, minus_one);
    return projected.norm_squared();
  }

  // Projects onto that outcome's eigenspace and renormalises (the probability must be > 0).
  void project(std::size_t q, clifford::Axis axis, bool minus_one) {
    project_unnormalised(q, axis, minus_one);
    const double norm_sq = norm_squared();
    if (norm_sq < 1e-12) throw std::logic_error("StateVector::project: outcome has probability 0");
    const double scale = 1.0 / std::sqrt(norm_sq);
    for (auto& amplitude : amplitudes_) amplitude *= scale;
  }

  // <psi| P |psi> for P = (-1)^negative times Pauli `axis` on each listed (distinct) qubit.
  double pauli_expectation(const std::vector<std::pair<std::size_t, clifford::Axis>>& factors,
                           bool negative) const {
    const StateVector image = pauli_image(factors);
    Complex overlap = 0.0;
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      overlap += std::conj(amplitudes_[i]) * image.amplitudes_[i];
    return negative ? -overlap.real() : overlap.real();
  }

  // Projects onto the eigenspace of that product with eigenvalue (-1)^minus_one, renormalised.
  void project_pauli(const std::vector<std::pair<std::size_t, clifford::Axis>>& factors,
                     bool negative, bool minus_one) {
    const StateVector image = pauli_image(factors);
    const double sign = negative != minus_one ? -1.0 : 1.0;
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      amplitudes_[i] = 0.5 * (amplitudes_[i] + sign * image.amplitudes_[i]);
    const double norm_sq = norm_squared();
    if (norm_sq < 1e-12) throw std::logic_error("project_pauli: outcome has probability 0");
    for (auto& amplitude : amplitudes_) amplitude /= std::sqrt(norm_sq);
  }

  bool equal_up_to_phase(const StateVector& other, double tolerance = 1e-9) const {
    if (qubit_count_ != other.qubit_count_) return false;
    std::size_t pivot = 0;
    for (std::size_t i = 1; i < amplitudes_.size(); ++i)
      if (std::abs(other.amplitudes_[i]) > std::abs(other.amplitudes_[pivot])) pivot = i;
    if (std::abs(other.amplitudes_[pivot]) < tolerance) return false;
    const Complex phase = amplitudes_[pivot] / other.amplitudes_[pivot];
    if (std::abs(std::abs(phase) - 1.0) > tolerance) return false;
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      if (std::abs(amplitudes_[i] - phase * other.amplitudes_[i]) > tolerance) return false;
    return true;
  }

 private:
  // psi <- (I +- P_q) psi / 2.
  void project_unnormalised(std::size_t q, clifford::Axis axis, bool minus_one) {
    StateVector flipped = *this;
    flipped.apply(q, pauli_matrix(static_cast<std::size_t>(axis)));
    const double sign = minus_one ? -1.0 : 1.0;
    for (std::size_t i = 0; i < amplitudes_.size(); ++i)
      amplitudes_[i] = 0.5 * (amplitudes_[i] + sign * flipped.amplitudes_[i]);
  }

  StateVector pauli_image(
      const std::vector<std::pair<std::size_t, clifford::Axis>>& factors) const {
    StateVector image = *this;
    for (const auto& [q, axis] : factors)
      image.apply(q, pauli_matrix(static_cast<std::size_t>(axis)));
    return image;
  }

  double norm_squared() const {
    double total = 0.0;
    for (const auto& amplitude : amplitudes_) total += std::norm(amplitude);
    return total;
  }

  std::size_t qubit_count_;
  Amplitudes amplitudes_;
};

// Empty when the register keeps its invariants (a simple undirected graph: symmetric adjacency,
// no self-loops, indices < N, degrees and the edge count agreeing with the lists, vop < 24);
// otherwise a description of the first violation found.
inline std::string invariant_violation(const engine::Register& reg) {
  const std::size_t n = reg.size();
  std::size_t entries = 0;
  for (std::size_t a = 0; a < n; ++a) {
    if (reg.vop(a) >= clifford::vop_count)
      return "qubit " + std::to_string(a) + " has vop " + std::to_string(reg.vop(a));
    const std::vector<std::size_t> list = reg.neighbors(a);
    if (list.size() != reg.degree(a))
      return "qubit " + std::to_string(a) + " lists " + std::to_string(list.size()) +
             " neighbours but has degree " + std::to_string(reg.degree(a));
    entries += list.size();
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::size_t b = list[i];
      const std::string where = "qubit " + std::to_string(a) + " lists " + std::to_string(b);
      if (b >= n) return where + ", which is not below " + std::to_string(n);
      if (b == a) return where + ": a self-loop";
      if (i > 0 && list[i - 1] == b) return where + " more than once";
      if (!reg.has_edge(a, b)) return where + ", but has_edge denies it";
      if (!reg.has_edge(b, a))
        return where + ", but " + std::to_string(b) + " does not list " + std::to_string(a);
    }
  }
  if (entries != 2 * reg.edge_count())
    return "the edge count is " + std::to_string(reg.edge_count()) + " but the lists hold " +
           std::to_string(entries) + " entries";
  return {};
}

// Whether two registers hold the same graph with the same VOPs.
inline bool same_representation(const engine::Register& a, const engine::Register& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t q = 0; q < a.size(); ++q) {
    if (a.vop(q) != b.vop(q) || a.neighbors(q) != b.neighbors(q)) return false;
  }
  return true;
}

// "0: vop 10 [1 2]; 1: vop 0 [0]; ..." for failure messages.
inline std::string describe(const engine::Register& reg) {
  std::string text;
  for (std::size_t q = 0; q < reg.size(); ++q) {
    if (q != 0) text += "; ";
    text += std::to_string(q) + ": vop " + std::to_string(reg.vop(q)) + " [";
    const std::vector<std::size_t> list = reg.neighbors(q);
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i != 0) text += ' ';
      text += std::to_string(list[i]);
    }
    text += ']';
  }
  return text;
}

}  // namespace korvane::testing
