// Trial measurement of a set of qubits, on an overlay of the register that copies what changes.
#pragma once

#include <vector>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../random/random_source.h"
#include "../register.h"

namespace korvane::engine {

struct TrialOutcome {
  Qubit qubit;
  bool result;  // false = +1, true = -1
  clifford::Axis axis;
};

// Measures each qubit of `qubits`, in the given order, on a copy-on-write overlay of `reg`: a
// qubit with edges on a uniformly random axis, a qubit without on the axis where it is certain.
// Returns one outcome per qubit in visiting order (a repeated index once). `reg` is never
// changed, and only what the trial measurements touch is copied.
std::vector<TrialOutcome> peek_measure_set(const Register& reg, const std::vector<Qubit>& qubits,
                                           RandomSource& source);

}  // namespace korvane::engine
