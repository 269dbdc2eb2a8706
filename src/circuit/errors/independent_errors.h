// A Pauli channel that picks one of its cases disjointly (DEPOLARIZE1, PAULI_CHANNEL_1, ...)
// written as independent mechanisms, one per case, that together give exactly the same
// distribution: what a detector error model, a list of independent errors, needs.
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace korvane::circuit {

// `disjoint[c - 1]` is the probability of case c (1 .. 4^n - 1) on n = 1 or 2 qubits, the case's
// Paulis coded 0..3 for I, X, Y, Z, the first qubit's times 4 plus the second's. Returns the
// probability of each case's independent mechanism, or nothing when no set of independent
// mechanisms has this distribution.
//
// A Pauli channel is fixed by its eigenvalues l_P = 1 - 2 (the probability of a case
// anticommuting with P); independent mechanisms multiply them, (1 - 2 q_C) for each C
// anticommuting with P. Taking logarithms makes this linear, and the symplectic Fourier
// transform inverts it: log(1 - 2 q_C) = -(2 / 4^n) sum over P != I of (-1)^<C,P> log l_P.
std::optional<std::vector<double>> independent_probabilities(std::span<const double> disjoint);

}  // namespace korvane::circuit
