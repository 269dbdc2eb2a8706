#include "engine/local_complement.h"

#include "engine/register_graph.h"

namespace korvane::engine {

void local_complement(Register& reg, Qubit v) {
  reg.check_index(v);
  visit_graph(reg, [v](auto& graph) { complement_locally(graph, v); });
  reg.settle_storage();
}

}  // namespace korvane::engine
