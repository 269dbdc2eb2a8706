// A register built directly from a graph and its VOPs, for states known in advance.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../register.h"

namespace korvane::engine {

// The graph state of `edge_rows` rows of two qubit indices each (at edges[2 r] and
// edges[2 r + 1], in either order, each edge once) on `qubits` qubits, with vops[q] applied to
// qubit q, or with no VOP (the identity) when `vops` is null. Throws InvalidInput naming the first
// row that is out of range, a self-loop or a repeat of an earlier row, or the first VOP that is
// not below 24. Costs O(qubits + edge_rows).
Register register_from_graph(std::size_t qubits, const std::int64_t* edges, std::size_t edge_rows,
                             const std::int64_t* vops);

}  // namespace korvane::engine
