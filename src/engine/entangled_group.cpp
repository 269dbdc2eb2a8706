#include "engine/entangled_group.h"

#include <cstddef>
#include <unordered_set>

namespace korvane::engine {

std::vector<Qubit> entangled_group(const Register& reg, Qubit q) {
  // The found qubits in discovery order double as the queue: the front is at `next`.
  std::vector<Qubit> found_order{q};
  std::unordered_set<Qubit> found{q};
  for (std::size_t next = 0; next < found_order.size(); ++next) {
    const Qubit v = found_order[next];
    reg.check_index(v);
    for (const Qubit x : reg.node(v).neighbors)
      if (found.insert(x).second) found_order.push_back(x);
  }
  return found_order;
}

}  // namespace korvane::engine
