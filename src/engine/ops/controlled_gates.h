// The controlled-Z gate, the only gate that changes the graph, and the controlled-gate family
// built from it by single-qubit basis changes.
#pragma once

#include <cstdint>

#include "../base.h"
#include "../register.h"

namespace korvane::engine {

// CZ between a and b. Checks a, then b, and refuses a == b, before changing anything.
void cz(Register& reg, Qubit a, Qubit b);

enum class ControlledGate : std::uint8_t { cz, cx, cy, xcx, xcy, xcz, ycx, ycy, ycz };

// Applies `gate` to (control, target). Both indices are checked, in the order the gate first
// touches them, before anything changes; control == target is refused with
// Fault("control and target must be different qubits").
void apply_controlled_gate(Register& reg, ControlledGate gate, Qubit control, Qubit target);

}  // namespace korvane::engine
