#include "measure.h"

#include "../rules/measurement.h"

namespace korvane::engine {

bool measure(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source) {
  return reg.change({q}, [&](auto& graph) { return measure_on(graph, q, axis, source); });
}

}  // namespace korvane::engine
