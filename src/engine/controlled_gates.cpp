#include "engine/controlled_gates.h"

#include "clifford/local_clifford.h"
#include "engine/controlled_z.h"
#include "engine/fault.h"
#include "engine/register_graph.h"

namespace korvane::engine {
namespace {

using clifford::hadamard;
using clifford::s_dagger;
using clifford::s_gate;

// One qubit as both operands would become its own neighbour (a self-loop).
void check_distinct(Qubit control, Qubit target) {
  if (control == target) throw Fault("control and target must be different qubits");
}

}  // namespace

void cz(Register& reg, Qubit a, Qubit b) {
  reg.check_index(a);
  reg.check_index(b);
  check_distinct(a, b);
  visit_graph(reg, [a, b](auto& graph) { apply_cz(graph, a, b); });
  reg.settle_storage();
}

void apply_controlled_gate(Register& reg, ControlledGate gate, Qubit control, Qubit target) {
  using G = ControlledGate;
  const Qubit c = control;
  const Qubit t = target;
  // Both indices are checked, in the order the gate's first operation reaches them, before any
  // change, so a refused call leaves the register as it was.
  switch (gate) {
    case G::cx:
    case G::cy:
    case G::xcy:
    case G::ycy:
      reg.check_index(t);
      reg.check_index(c);
      break;
    case G::cz:
    case G::xcx:
    case G::xcz:
    case G::ycx:
    case G::ycz:
      reg.check_index(c);
      reg.check_index(t);
      break;
  }
  check_distinct(c, t);

  auto apply = [&reg](Qubit q, clifford::Vop g) { reg.apply_clifford(q, g); };
  switch (gate) {
    case G::cz:
      cz(reg, c, t);
      break;
    case G::cx:
      apply(t, hadamard);
      cz(reg, c, t);
      apply(t, hadamard);
      break;
    case G::cy:
      apply(t, s_dagger);
      apply(t, hadamard);
      cz(reg, c, t);
      apply(t, hadamard);
      apply(t, s_gate);
      break;
    case G::xcx:
      apply(c, hadamard);
      apply(t, hadamard);
      cz(reg, c, t);
      apply(t, hadamard);
      apply(c, hadamard);
      break;
    case G::xcy:
      apply(t, s_dagger);
      apply(t, hadamard);
      apply(c, hadamard);
      cz(reg, t, c);
      apply(c, hadamard);
      apply(t, hadamard);
      apply(t, s_gate);
      break;
    case G::xcz:
      apply(c, hadamard);
      cz(reg, t, c);
      apply(c, hadamard);
      break;
    case G::ycx:
      apply(c, s_dagger);
      apply(c, hadamard);
      apply(t, hadamard);
      cz(reg, c, t);
      apply(t, hadamard);
      apply(c, hadamard);
      apply(c, s_gate);
      break;
    case G::ycy:
      apply(t, s_dagger);
      apply(c, s_dagger);
      apply(c, hadamard);
      apply(t, hadamard);
      cz(reg, c, t);
      apply(t, hadamard);
      apply(c, hadamard);
      apply(c, s_gate);
      apply(t, s_gate);
      break;
    case G::ycz:
      apply(c, s_dagger);
      apply(c, hadamard);
      cz(reg, t, c);
      apply(c, hadamard);
      apply(c, s_gate);
      break;
  }
}

}  // namespace korvane::engine
