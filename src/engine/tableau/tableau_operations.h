// The controlled-Z gate and single-qubit measurement on a state held as a stabilizer tableau with
// VOPs beside it: the state is the VOPs applied to the tableau's state, as with a graph.
#pragma once

#include <cstddef>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../graph/vop_array.h"
#include "../random.h"
#include "stabilizer_tableau.h"

namespace korvane::engine {

// CZ between a and b (distinct, in range). CZ (C_a x C_b) = (C_a x C_b) M with M the
// controlled-Pauli gate of P = C_a^dagger Z C_a and Q = C_b^dagger Z C_b: M runs on the tableau,
// and a minus sign on P (Q) leaves the Pauli of Q (P) on the other operand, taken into its VOP.
// Returns the word operations.
std::size_t cz_on_tableau(VopArray& vops, StabilizerTableau& tableau, Qubit a, Qubit b);

// Measures `axis` on q (in range): the axis carried through q's VOP is measured on the tableau.
// Draws one word for a random outcome, none for a determined one.
struct MeasuredOnTableau {
  bool outcome;
  std::size_t work;
};
MeasuredOnTableau measure_on_tableau(VopArray& vops, StabilizerTableau& tableau, Qubit q,
                                     clifford::Axis axis, RandomSource& source);

}  // namespace korvane::engine
