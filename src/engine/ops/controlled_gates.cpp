#include "controlled_gates.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "../rules/controlled_z.h"
#include "../tableau/tableau_operations.h"

namespace korvane::engine {
namespace {

using clifford::Axis;
using clifford::hadamard;
using clifford::identity;

// One qubit as both operands would become its own neighbour (a self-loop).
void check_distinct(Qubit control, Qubit target) {
  if (control == target) throw Fault("control and target must be different qubits");
}

// The Clifford that takes an operand's axis to Z: none for Z, H for X, S-dagger then H for Y.
constexpr Vop to_z(Axis axis) {
  switch (axis) {
    case Axis::X:
      return hadamard;
    case Axis::Y:
      return clifford::product(hadamard, clifford::s_dagger);
    case Axis::Z:
      return identity;
  }
  return identity;
}

// Applies the gate `change` to q, unless it is the identity.
template <GraphView Graph>
void change_basis(Graph& graph, Qubit q, Vop change) {
  if (change != identity) graph.set_vop(q, clifford::product(change, graph.vop(q)));
}

// The steps of each gate on a tableau, by the operands' VOPs: gate 3 c + t has axes c and t.
constexpr std::array<TableauGateSteps, 9> make_tableau_steps() {
  std::array<TableauGateSteps, 9> steps{};
  for (std::size_t gate = 0; gate < steps.size(); ++gate) {
    steps[gate] =
        tableau_gate_steps(to_z(static_cast<Axis>(gate / 3)), to_z(static_cast<Axis>(gate % 3)));
  }
  return steps;
}

constexpr std::array<TableauGateSteps, 9> tableau_steps = make_tableau_steps();

// The gate on a tableau with VOPs beside it: one step, looked up by the operands' VOPs. Returns
// the work.
inline std::size_t run_on_tableau(ControlledPauli gate, Qubit control, Qubit target, VopArray& vops,
                                  StabilizerTableau& tableau) {
  check_distinct(control, target);
  const TableauGateSteps& steps = tableau_steps[3 * static_cast<std::size_t>(gate.control) +
                                                static_cast<std::size_t>(gate.target)];
  return run_tableau_gate_step(vops, tableau, steps[vops.vop(control)][vops.vop(target)], control,
                               target);
}

// Throws the index fault for the operands, one of them out of range: it names the first out of
// range in the order the gate's definition reaches them.
[[noreturn]] void check_in_gate_order(const Register& reg, ControlledPauli gate, Qubit control,
                                      Qubit target) {
  reg.check_index(gate.checks_target_first ? target : control);
  reg.check_index(gate.checks_target_first ? control : target);
  throw_index_fault(reg.size(), std::max(control, target));
}

}  // namespace

void cz(Register& reg, Qubit a, Qubit b) { apply_controlled_pauli(reg, ControlledPauli{}, a, b); }

// CZ is symmetric, so its operands go in one order for every gate: the control first.
void apply_controlled_pauli(Register& reg, ControlledPauli gate, Qubit control, Qubit target) {
  const auto on_tableau = [&](VopArray& vops, StabilizerTableau& tableau) {
    return run_on_tableau(gate, control, target, vops, tableau);
  };
  // A state held as a tableau takes every gate of the family the same way, with no branch on
  // which gate it is: both operands are checked by one test, and only a fault asks which of them
  // the gate names first.
  if (std::max(control, target) >= reg.size()) [[unlikely]] {
    check_in_gate_order(reg, gate, control, target);
  }
  if (reg.change_tableau_if_held(on_tableau)) return;
  const Qubit first_checked = gate.checks_target_first ? target : control;
  const Qubit second_checked = gate.checks_target_first ? control : target;
  reg.change_either(
      OperationKind::gate, {first_checked, second_checked},
      [&](auto& graph) {
        check_distinct(control, target);
        if (gate.control == Axis::Z && gate.target == Axis::Z) {
          // CZ itself: no change of basis around it.
          apply_cz(graph, control, target);
          return;
        }
        const Vop control_to_z = to_z(gate.control);
        const Vop target_to_z = to_z(gate.target);
        change_basis(graph, control, control_to_z);
        change_basis(graph, target, target_to_z);
        apply_cz(graph, control, target);
        change_basis(graph, target, clifford::adjoint(target_to_z));
        change_basis(graph, control, clifford::adjoint(control_to_z));
      },
      [&](VopArray& vops, StabilizerTableau& tableau, std::size_t& work) {
        work = on_tableau(vops, tableau);
      });
}

}  // namespace korvane::engine
