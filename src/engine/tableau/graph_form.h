// Between a stabilizer tableau and a graph state with local Cliffords, both ways, exactly.
//
// Tableau to graph: the stabilizers are brought by row operations to X part I (after a Hadamard
// on every qubit that no stabilizer's X part can be made to single out), then a Y on the
// diagonal is turned into X by S-dagger and a minus sign cleared by Z. The rows' Z parts are then
// the adjacency of a graph state, which those local Cliffords took the tableau's state to.
#pragma once

#include <cstddef>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "stabilizer_tableau.h"

namespace korvane::engine {

// The graph state of a tableau: its adjacency as rows of words_for(qubits) words, and for each
// qubit the local Clifford C with tableau state = (C_0 x C_1 x ...) graph state, to be applied
// after the graph state, as a right factor of that qubit's VOP.
struct GraphForm {
  std::size_t qubits = 0;
  std::size_t row_words = 0;
  std::vector<Word> adjacency;  // row q at q * row_words
  std::vector<clifford::Vop> local_cliffords;
};

// Throws std::bad_alloc, with the tableau unchanged.
GraphForm graph_form(const StabilizerTableau& tableau);

// The word operations graph_form() takes at most on `qubits` qubits: a cost model's estimate.
std::size_t graph_form_cost(std::size_t qubits) noexcept;

}  // namespace korvane::engine
