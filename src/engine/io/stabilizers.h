// The stabilizer generators of a register's state in a canonical form, comparable by == with any
// tool that uses the same form.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "../register.h"
#include "../stop_check.h"

namespace korvane::engine {

// The answer holds N strings of N + 1 characters and takes about N^3 / 16 word operations to
// find: registers above this size are refused.
inline constexpr std::size_t largest_stabilizer_register = 4096;

// N generators as "+XZ_Y" (sign, then one of _XYZ per qubit, qubit 0 first), in the canonical
// form: from any generating rows, for each qubit in increasing order and for its X bit and then
// its Z bit, the first row from position `next` on that has the bit becomes the only row with it
// (every other row that has it is multiplied by it) and moves to position `next`, which advances.
// Throws InvalidInput above largest_stabilizer_register qubits; Interrupted when `stop` stops it
// (between two bit columns).
std::vector<std::string> canonical_stabilizers(const Register& reg, StopCheck* stop = nullptr);

}  // namespace korvane::engine
