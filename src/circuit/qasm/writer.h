// Writing a program as OpenQASM 2.0 or 3.0: the gates as the standard library names them (the
// rest as U at Clifford angles or as gate blocks defined at the top), measurements and resets in
// other bases through basis changes, REPEAT blocks written out, feedback and conditions as if().
#pragma once

#include <string>

#include "../program.h"
#include "register_layout.h"

namespace korvane::circuit::qasm {

// A circuit runs at most this many operations to be written out.
inline constexpr std::uint64_t most_written_operations = 10'000'000;

// The text of `program` in OpenQASM `version` (2 or 3), with the registers of `layout` when the
// program was read from OpenQASM (else a register q of every qubit, and rec of every recorded
// bit). Throws engine::InvalidInput, naming the line and the instruction, for what OpenQASM cannot
// express: noise, measurement flips, detectors, observables, and a condition or feedback that
// OpenQASM 2 cannot write on its registers.
std::string write_qasm(const Program& program, const RegisterLayout* layout, int version);

}  // namespace korvane::circuit::qasm
