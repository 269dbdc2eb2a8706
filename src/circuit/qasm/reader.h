// Reading OpenQASM 2.0 and the matching subset of OpenQASM 3 into a Program: registers,
// Clifford gates (standard, parametrised at Clifford angles, or defined in gate blocks), measure,
// reset, barrier and if().
#pragma once

#include <string_view>

#include "../program.h"
#include "register_layout.h"

namespace korvane::circuit::qasm {

struct QasmCircuit {
  Program program;
  RegisterLayout layout;
};

// Quantum registers take qubit indices and measurements take recorded bits in the order they are
// declared and made. A barrier becomes a TICK. An if() on recorded bits becomes a condition over
// the bits that the register's value rests on at that point.
//
// Throws engine::InvalidInput, with a message beginning "line N: ", for text it cannot read, for a
// gate that is not a Clifford (naming it), and for what korvane does not run: a measurement under
// if(), loops, subroutines, classical variables.
QasmCircuit read_qasm(std::string_view text);

}  // namespace korvane::circuit::qasm
