// Exchanging the states of two qubits.
#pragma once

#include "../register.h"

namespace korvane::engine {

// Swaps the states of a and b by exchanging their places in the graph: their VOPs, and their
// edges to every other qubit (an edge between them stays). Costs the degrees of a and b, draws
// nothing. Checks a, then b, before any change; a == b changes nothing.
void swap(Register& reg, Qubit a, Qubit b);

}  // namespace korvane::engine
