// The one place where the tableau checks read the engine's register: its graph and VOPs as plain
// data. Edges come from each qubit's list with the smaller index first, as the graph formula in
// StateVector::from_register reads them.
#pragma once

#include <cstddef>

#include "graph_state_generators.h"
#include "korvane/engine/register.h"

namespace korvane::testing {

inline GraphDescription describe_graph(const engine::Register& reg) {
  GraphDescription graph{reg.size(), {}, {}};
  graph.vops.reserve(reg.size());
  for (std::size_t q = 0; q < reg.size(); ++q) {
    graph.vops.push_back(reg.vop(q));
    for (const std::size_t neighbor : reg.neighbors(q))
      if (q < neighbor) graph.edges.emplace_back(q, neighbor);
  }
  return graph;
}

}  // namespace korvane::testing
