// The timeline of a circuit as SVG: one line per qubit, time to the right, each operation a box
// (two-qubit gates joined by a line, CX as a dot and a cross), measurements with the recorded bit
// they make, noise in red, detectors and observables on a lane below. A REPEAT block is drawn
// once, framed with its count; a TICK starts a new layer.
#pragma once

#include <string>

#include "../circuit/program.h"

namespace korvane::picture {

// Circuits of more qubits or operations (a REPEAT counted once) than these are refused.
inline constexpr std::size_t most_diagram_qubits = 2000;
inline constexpr std::size_t most_diagram_operations = 20000;

// Throws std::invalid_argument above those limits.
std::string draw_circuit(const circuit::Program& program);

}  // namespace korvane::picture
