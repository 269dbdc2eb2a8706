#include "swap.h"

#include <vector>

#include "../graph/graph_view.h"

namespace korvane::engine {
namespace {

// The neighbours of `from` other than `other` that `other` lacks.
template <GraphView Graph>
std::vector<Qubit> neighbors_only_of(const Graph& graph, Qubit from, Qubit other) {
  std::vector<Qubit> only;
  graph.for_each_neighbor(from, [&](Qubit w) {
    if (w != other && !graph.has_edge(other, w)) only.push_back(w);
  });
  return only;
}

// A qubit joined to both keeps both edges; one joined to just one moves to the other.
template <GraphView Graph>
void exchange_places(Graph& graph, Qubit a, Qubit b) {
  const std::vector<Qubit> only_a = neighbors_only_of(graph, a, b);
  const std::vector<Qubit> only_b = neighbors_only_of(graph, b, a);
  for (const Qubit w : only_a) {
    graph.toggle_edge(a, w);
    graph.toggle_edge(b, w);
  }
  for (const Qubit w : only_b) {
    graph.toggle_edge(b, w);
    graph.toggle_edge(a, w);
  }
  const Vop vop_a = graph.vop(a);
  graph.set_vop(a, graph.vop(b));
  graph.set_vop(b, vop_a);
}

}  // namespace

void swap(Register& reg, Qubit a, Qubit b) {
  reg.change({a, b}, [a, b](auto& graph) {
    if (a != b) exchange_places(graph, a, b);
  });
}

}  // namespace korvane::engine
