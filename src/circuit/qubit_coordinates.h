// Where a circuit places its qubits: the QUBIT_COORDS outside REPEAT blocks, shifted by the
// SHIFT_COORDS before them, for drawing the state a register was run into.
#pragma once

#include <cstdint>
#include <vector>

#include "program.h"

namespace korvane::circuit {

struct QubitCoordinate {
  std::uint32_t qubit;
  double x;
  double y;  // 0 for a qubit given one coordinate
};

// One entry per qubit that has coordinates, ascending by qubit; a later QUBIT_COORDS of a qubit
// replaces an earlier one.
std::vector<QubitCoordinate> qubit_coordinates(const Program& program);

// Whether the program has a QUBIT_COORDS anywhere: without one, qubit_coordinates is empty.
bool places_qubits(const Program& program);

}  // namespace korvane::circuit
