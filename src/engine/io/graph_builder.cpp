#include "graph_builder.h"

#include <utility>

#include "graph_edges.h"

namespace korvane::engine {

Register register_from_graph(std::size_t qubits, GivenIntegers edges, std::size_t edge_rows,
                             GivenIntegers vops) {
  GraphBuilder builder(qubits, vops);
  builder.add_edges(edges, edge_rows);
  return std::move(builder).finish();
}

}  // namespace korvane::engine
