// The connected component of a qubit in the register's graph.
#pragma once

#include <vector>

#include "../base.h"
#include "../register.h"

namespace korvane::engine {

// Breadth-first search from q following adjacency lists; q itself included. Returns the qubits
// in the order found. Throws the index fault when q is out of range.
std::vector<Qubit> entangled_group(const Register& reg, Qubit q);

}  // namespace korvane::engine
