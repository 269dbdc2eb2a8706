#include "reset.h"

#include "measure.h"

namespace korvane::engine {

void reset(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source) {
  if (measure(reg, q, axis, source)) reg.apply_clifford(q, reset_flip(axis));
}

}  // namespace korvane::engine
