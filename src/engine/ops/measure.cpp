#include "measure.h"

#include "../rules/measurement.h"

namespace korvane::engine {

bool measure(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source) {
  reg.check_index(q);
  const bool result = reg.visit([&](auto& graph) { return measure_on(graph, q, axis, source); });
  reg.settle_storage();
  return result;
}

}  // namespace korvane::engine
