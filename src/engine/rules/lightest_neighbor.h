// The choice of a cheap neighbour, for the rules that may work through any neighbour of a vertex
// and cost less through one of low degree.
#pragma once

#include <cstddef>

#include "../base.h"
#include "../graph/graph_view.h"

namespace korvane::engine {

// Neighbours examined when looking for a cheap one: enough to find a low degree, bounded so that
// a hub's huge neighbourhood is not scanned for it.
inline constexpr std::size_t neighbor_candidates = 8;

// The neighbour of v of least degree among the first few examined. v must have a neighbour.
template <GraphView Graph>
Qubit lightest_neighbor(const Graph& graph, Qubit v) {
  Qubit best = 0;
  std::size_t best_degree = 0;
  std::size_t examined = 0;
  graph.for_each_neighbor_while(v, [&](Qubit w) {
    const std::size_t degree = graph.degree(w);
    if (examined == 0 || degree < best_degree) {
      best = w;
      best_degree = degree;
    }
    return ++examined < neighbor_candidates && best_degree > 1;
  });
  return best;
}

}  // namespace korvane::engine
