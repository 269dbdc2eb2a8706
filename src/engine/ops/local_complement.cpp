#include "local_complement.h"

#include "../rules/local_complementation.h"

namespace korvane::engine {

void local_complement(Register& reg, Qubit v) {
  reg.change({v}, [v](auto& graph) { complement_locally(graph, v); });
}

}  // namespace korvane::engine
