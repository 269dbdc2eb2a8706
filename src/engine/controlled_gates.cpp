#include "controlled_gates.h"

#include <array>
#include <cstddef>

#include "../clifford/local_clifford.h"
#include "rules/controlled_z.h"
#include "tableau/tableau_operations.h"

namespace korvane::engine {
namespace {

using clifford::hadamard;
using clifford::identity;

// One qubit as both operands would become its own neighbour (a self-loop).
void check_distinct(Qubit control, Qubit target) {
  if (control == target) throw Fault("control and target must be different qubits");
}

// The Cliffords that take an operand's basis to Z: H for X, S-dagger then H for Y.
constexpr Vop z_from_z = identity;
constexpr Vop z_from_x = hadamard;
constexpr Vop z_from_y = clifford::product(hadamard, clifford::s_dagger);

// Each gate is a CZ conjugated by a basis change on each operand: it applies the basis changes,
// the CZ, and their adjoints. CZ is symmetric, so its operands go in one order for every gate.
struct GateFrame {
  Vop control_to_z;
  Vop target_to_z;
  bool checks_target_first;  // the order in which the gate's first operation reaches the indices
};

constexpr GateFrame frame_of(ControlledGate gate) {
  using G = ControlledGate;
  switch (gate) {
    case G::cz:
      return {z_from_z, z_from_z, false};
    case G::cx:
      return {z_from_z, z_from_x, true};
    case G::cy:
      return {z_from_z, z_from_y, true};
    case G::xcx:
      return {z_from_x, z_from_x, false};
    case G::xcy:
      return {z_from_x, z_from_y, true};
    case G::xcz:
      return {z_from_x, z_from_z, false};
    case G::ycx:
      return {z_from_y, z_from_x, false};
    case G::ycy:
      return {z_from_y, z_from_y, true};
    case G::ycz:
      return {z_from_y, z_from_z, false};
  }
  return {z_from_z, z_from_z, false};
}

// The steps of each gate on a tableau, by the operands' VOPs.
constexpr std::array<TableauGateSteps, 9> make_tableau_steps() {
  std::array<TableauGateSteps, 9> steps{};
  for (std::size_t g = 0; g < steps.size(); ++g) {
    const GateFrame frame = frame_of(static_cast<ControlledGate>(g));
    steps[g] = tableau_gate_steps(frame.control_to_z, frame.target_to_z);
  }
  return steps;
}

constexpr std::array<TableauGateSteps, 9> tableau_steps = make_tableau_steps();

// The gate on a state held as a tableau, when it is; false otherwise.
bool ran_on_tableau(Register& reg, ControlledGate gate, Qubit control, Qubit target) {
  const auto state = reg.tableau_state();
  if (!state) return false;
  const TableauGateStep& step = tableau_steps[static_cast<std::size_t>(gate)]
                                             [state->vops.vop(control)][state->vops.vop(target)];
  reg.settle_after(OperationKind::gate,
                   run_tableau_gate_step(state->vops, state->tableau, step, control, target));
  return true;
}

void change_basis(Register& reg, Qubit q, Vop change) {
  if (change != identity) reg.apply_clifford(q, change);
}

// CZ on operands already checked.
void checked_cz(Register& reg, Qubit a, Qubit b) {
  reg.visit([a, b](auto& graph) { apply_cz(graph, a, b); });
  reg.settle_after(OperationKind::gate);
}

}  // namespace

void cz(Register& reg, Qubit a, Qubit b) {
  reg.check_index(a);
  reg.check_index(b);
  check_distinct(a, b);
  if (ran_on_tableau(reg, ControlledGate::cz, a, b)) return;
  checked_cz(reg, a, b);
}

void apply_controlled_gate(Register& reg, ControlledGate gate, Qubit control, Qubit target) {
  const GateFrame frame = frame_of(gate);
  // Both indices are checked before any change, so a refused call leaves the register as it was.
  if (frame.checks_target_first) {
    reg.check_index(target);
    reg.check_index(control);
  } else {
    reg.check_index(control);
    reg.check_index(target);
  }
  check_distinct(control, target);
  if (ran_on_tableau(reg, gate, control, target)) return;
  change_basis(reg, control, frame.control_to_z);
  change_basis(reg, target, frame.target_to_z);
  checked_cz(reg, control, target);
  change_basis(reg, target, clifford::adjoint(frame.target_to_z));
  change_basis(reg, control, clifford::adjoint(frame.control_to_z));
}

}  // namespace korvane::engine
