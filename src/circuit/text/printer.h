// The canonical text of a circuit: one instruction a line under its canonical name, REPEAT bodies
// indented by four spaces, numbers in their shortest exact decimal form. Reading it back gives
// the same circuit.
#pragma once

#include <string>

#include "../program.h"

namespace korvane::circuit {

std::string print_circuit(const Program& program);

}  // namespace korvane::circuit
