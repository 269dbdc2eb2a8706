// The controlled-Z gate, the only gate that changes the graph, and the family of controlled Paulis
// built from it by single-qubit basis changes. Which gates of the family have names, and under
// which names, is the gate table's business (circuit/gates/).
#pragma once

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../register.h"

namespace korvane::engine {

// The controlled Pauli P+ (x) I + P- (x) Q, for P the Pauli of the control's axis and Q that of
// the target's (P+- the projectors on its +-1 eigenspaces): CZ is {Z, Z}, CX {Z, X}, XCY {X, Y}.
struct ControlledPauli {
  clifford::Axis control = clifford::Axis::Z;
  clifford::Axis target = clifford::Axis::Z;
  // Whether the target's index is checked before the control's: the one the gate's definition
  // reaches first is named when both are out of range.
  bool checks_target_first = false;
};

// Applies `gate` to (control, target): a CZ conjugated by the basis changes that take each axis to
// Z. Both indices are checked, in the gate's order, before anything changes; control == target is
// refused with Fault("control and target must be different qubits").
void apply_controlled_pauli(Register& reg, ControlledPauli gate, Qubit control, Qubit target);

// CZ between a and b: the controlled Pauli {Z, Z}. Checks a, then b, and refuses a == b, before
// changing anything.
void cz(Register& reg, Qubit a, Qubit b);

}  // namespace korvane::engine
