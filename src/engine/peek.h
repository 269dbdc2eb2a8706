// Trial measurement of a set of qubits on a private copy of the register.
#pragma once

#include <vector>

#include "clifford/local_clifford.h"
#include "engine/random.h"
#include "engine/register.h"

namespace korvane::engine {

struct TrialOutcome {
  Qubit qubit;
  bool result;  // false = +1, true = -1
  clifford::Axis axis;
};

// Measures each qubit of `qubits` (distinct indices), in the given order, on a copy of `reg`: a
// qubit with edges on a uniformly random axis, a qubit without on the axis where it is certain.
// Returns one outcome per qubit in visiting order. `reg` is never changed.
std::vector<TrialOutcome> peek_measure_set(const Register& reg, const std::vector<Qubit>& qubits,
                                           RandomSource& source);

}  // namespace korvane::engine
