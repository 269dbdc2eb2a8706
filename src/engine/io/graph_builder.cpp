#include "graph_builder.h"

#include <span>
#include <utility>

#include "graph_edges.h"

namespace korvane::engine {

Register register_from_graph(std::size_t qubits, const std::int64_t* edges, std::size_t edge_rows,
                             const std::int64_t* vops) {
  GraphBuilder builder(qubits, vops);
  builder.add_edges(std::span(edges, 2 * edge_rows));
  return std::move(builder).finish();
}

}  // namespace korvane::engine
