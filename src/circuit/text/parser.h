// Reading the circuit text format into a Program.
#pragma once

#include <string_view>

#include "../program.h"

namespace korvane::circuit {

// Reads `text` in one pass, in time linear in its length; REPEAT blocks are kept as loops. Throws
// engine::InvalidInput, with a message beginning "line N: " (N counted from 1 in `text`), at the
// first thing it cannot read; std::bad_alloc when memory runs out.
Program parse_circuit(std::string_view text);

}  // namespace korvane::circuit
