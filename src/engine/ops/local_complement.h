// Local complementation about one qubit of the register: the representation changes, the state
// stays.
#pragma once

#include "../base.h"
#include "../register.h"

namespace korvane::engine {

// Local complementation about v. Checks v first.
void local_complement(Register& reg, Qubit v);

}  // namespace korvane::engine
