// Products of Pauli operators on several qubits: their expectation value and their projective
// measurement, without an ancilla qubit.
#pragma once

#include <vector>

#include "../../clifford/local_clifford.h"
#include "../random/random_source.h"
#include "../register.h"

namespace korvane::engine {

struct PauliFactor {
  Qubit qubit;
  clifford::Axis axis;
};

// (-1)^negative times the product of the factors, which name distinct qubits. No factors is the
// identity.
struct PauliProduct {
  std::vector<PauliFactor> factors;
  bool negative = false;
};

// +1 or -1 when the state is an eigenstate of the product, else 0. Checks every index first and
// changes nothing. Costs the number of factors plus the degrees of the qubits where the product,
// seen on the bare graph state, has an X or Y factor.
int pauli_expectation(const Register& reg, const PauliProduct& product);

// Measures the product, leaves the post-measurement state and returns the outcome bit (false =
// +1, true = -1). Checks every index before any change. Draws exactly one 32-bit number from
// `source` when the outcome is random and none when it is certain; a certain outcome changes
// nothing.
bool measure_pauli(Register& reg, const PauliProduct& product, RandomSource& source);

}  // namespace korvane::engine
