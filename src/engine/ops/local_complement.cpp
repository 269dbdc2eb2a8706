#include "local_complement.h"

#include "../rules/local_complementation.h"

namespace korvane::engine {

void local_complement(Register& reg, Qubit v) {
  reg.check_index(v);
  reg.visit([v](auto& graph) { complement_locally(graph, v); });
  reg.settle_storage();
}

}  // namespace korvane::engine
