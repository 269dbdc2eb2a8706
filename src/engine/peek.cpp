#include "engine/peek.h"

#include <unordered_set>

#include "engine/measure.h"

namespace korvane::engine {

std::vector<TrialOutcome> peek_measure_set(const Register& reg, const std::vector<Qubit>& qubits,
                                           RandomSource& source) {
  Register working = reg;
  std::vector<TrialOutcome> outcomes;
  outcomes.reserve(qubits.size());
  // A repeated index is measured once, at its first occurrence.
  std::unordered_set<Qubit> visited;
  visited.reserve(qubits.size());
  for (const Qubit q : qubits) {
    working.check_index(q);
    if (!visited.insert(q).second) continue;
    const Node& node = working.node(q);
    // A lone qubit is measured on the axis where it is certain, so no word is drawn for it.
    const clifford::Axis axis = node.neighbors.empty()
                                    ? clifford::x_preimage_table[clifford::adjoint(node.vop)]
                                    : uniform_axis(source);
    const bool result = measure(working, q, axis, source);
    outcomes.push_back({q, result, axis});
  }
  return outcomes;
}

}  // namespace korvane::engine
