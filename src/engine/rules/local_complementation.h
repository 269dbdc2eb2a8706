// Local complementation: a rewrite of the representation that leaves the represented state
// unchanged (up to a global phase).
#pragma once

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../graph/graph_view.h"

namespace korvane::engine {

// Complements the graph among v's neighbours, multiplies each neighbour's VOP on the right by
// S and v's by C_14, so that the represented state stays the same.
template <GraphView Graph>
void complement_locally(Graph& graph, Qubit v) {
  graph.complement_neighborhood(v);
  graph.for_each_neighbor(v, [&graph](Qubit x) { graph.multiply_right(x, clifford::s_gate); });
  graph.multiply_right(v, clifford::plus_sqrt_ix);
}

}  // namespace korvane::engine
