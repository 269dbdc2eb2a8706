// The controlled-Z gate and single-qubit measurement on a state held as a stabilizer tableau with
// VOPs beside it: the state is the VOPs applied to the tableau's state, as with a graph.
#pragma once

#include <array>
#include <cstddef>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../graph/vop_array.h"
#include "../random/random_source.h"
#include "../rules/controlled_z.h"
#include "stabilizer_tableau.h"

namespace korvane::engine {

// A controlled gate on a tableau, for one pair of VOPs: the controlled-Pauli gate to run on the
// tableau, and the operands' VOPs afterwards.
struct TableauGateStep {
  clifford::Axis control_axis;
  clifford::Axis target_axis;
  clifford::Vop control_vop;
  clifford::Vop target_vop;
};

// The step of the gate that is CZ conjugated by `control_to_z` and `target_to_z` (Cliffords that
// take each operand's basis to Z), with VOPs `control` and `target`. CZ (C_a x C_b) =
// (C_a x C_b) M with M the controlled-Pauli gate of P = C_a^dagger Z C_a and Q = C_b^dagger Z C_b:
// M runs on the tableau, and a minus sign on P (Q) leaves the Pauli of Q (P) on the other
// operand, taken into its VOP.
constexpr TableauGateStep tableau_gate_step(clifford::Vop control_to_z, clifford::Vop target_to_z,
                                            clifford::Vop control, clifford::Vop target) {
  const clifford::Vop a = clifford::product(control_to_z, control);
  const clifford::Vop b = clifford::product(target_to_z, target);
  const ZImage image_a = z_image_table[a];
  const ZImage image_b = z_image_table[b];
  const clifford::Vop a_after = image_b.negative ? clifford::product(a, pauli_of(image_a.axis)) : a;
  const clifford::Vop b_after = image_a.negative ? clifford::product(b, pauli_of(image_b.axis)) : b;
  return {image_a.axis, image_b.axis, clifford::product(clifford::adjoint(control_to_z), a_after),
          clifford::product(clifford::adjoint(target_to_z), b_after)};
}

// Every step of one gate, by the operands' VOPs.
using TableauGateSteps =
    std::array<std::array<TableauGateStep, clifford::vop_count>, clifford::vop_count>;

constexpr TableauGateSteps tableau_gate_steps(clifford::Vop control_to_z,
                                              clifford::Vop target_to_z) {
  TableauGateSteps steps{};
  for (std::size_t c = 0; c < clifford::vop_count; ++c) {
    for (std::size_t t = 0; t < clifford::vop_count; ++t) {
      steps[c][t] = tableau_gate_step(control_to_z, target_to_z, static_cast<clifford::Vop>(c),
                                      static_cast<clifford::Vop>(t));
    }
  }
  return steps;
}

// Runs `step` on the tableau for `control` and `target` (distinct, in range) and returns the work.
inline std::size_t run_tableau_gate_step(VopArray& vops, StabilizerTableau& tableau,
                                         const TableauGateStep& step, Qubit control, Qubit target) {
  tableau.controlled_pauli(step.control_axis, control, step.target_axis, target);
  vops.set_vop(control, step.control_vop);
  vops.set_vop(target, step.target_vop);
  return tableau.gate_work();
}

// Measures `axis` on q (in range): the axis carried through q's VOP is measured on the tableau.
// Draws one word for a random outcome, none for a determined one; a random outcome is the word's
// top bit.
struct MeasuredOnTableau {
  bool outcome;
  std::size_t work;
};
MeasuredOnTableau measure_on_tableau(const VopArray& vops, StabilizerTableau& tableau, Qubit q,
                                     clifford::Axis axis, RandomSource& source);

}  // namespace korvane::engine
