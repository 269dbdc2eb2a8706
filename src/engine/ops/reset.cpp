#include "reset.h"

#include "../../clifford/local_clifford.h"
#include "measure.h"

namespace korvane::engine {

void reset(Register& reg, Qubit q, RandomSource& source) {
  if (measure(reg, q, clifford::Axis::Z, source)) reg.apply_clifford(q, clifford::pauli_x);
}

}  // namespace korvane::engine
