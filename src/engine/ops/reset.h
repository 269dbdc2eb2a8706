// Resetting one qubit to |0>.
#pragma once

#include "../random/random_source.h"
#include "../register.h"

namespace korvane::engine {

// Puts q in |0>: a Z measurement, whose outcome (one word from `source` when it is random) decides
// the state the other qubits are left in, followed by X when it found |1>. Checks q first.
void reset(Register& reg, Qubit q, RandomSource& source);

}  // namespace korvane::engine
