// Projective measurement of one qubit in the X, Y or Z basis.
#pragma once

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../random/random_source.h"
#include "../register.h"

namespace korvane::engine {

// Measures `axis` on qubit q, leaves the register in the post-measurement state and returns the
// outcome bit (false = +1, true = -1). Checks q first. Draws exactly one 32-bit number from
// `source` random outcome and none for a certain one (graph axis X on a qubit without edges).
bool measure(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source);

}  // namespace korvane::engine
