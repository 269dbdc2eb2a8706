// Resetting one qubit to the +1 eigenstate of an axis (|0> for Z).
#pragma once

#include "../../clifford/local_clifford.h"
#include "../random/random_source.h"
#include "../register.h"

namespace korvane::engine {

// The Pauli that takes the -1 eigenstate of `axis` to its +1 eigenstate: X for Z and Y, Z for X.
constexpr clifford::Vop reset_flip(clifford::Axis axis) {
  return axis == clifford::Axis::X ? clifford::pauli_z : clifford::pauli_x;
}

// Puts q in the +1 eigenstate of `axis`: a measurement of the axis, whose outcome (one 32-bit draw
// from `source` when it is random) decides the state the other qubits are left in, followed by
// reset_flip(axis) when it found -1. Checks q first.
void reset(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source);

}  // namespace korvane::engine
