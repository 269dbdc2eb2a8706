#include "engine/measure.h"

#include "engine/measure_rules.h"
#include "engine/register_graph.h"

namespace korvane::engine {

bool measure(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source) {
  reg.check_index(q);
  const bool result =
      visit_graph(reg, [&](auto& graph) { return measure_on(graph, q, axis, source); });
  reg.settle_storage();
  return result;
}

}  // namespace korvane::engine
