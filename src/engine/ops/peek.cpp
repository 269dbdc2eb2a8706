#include "peek.h"

#include <algorithm>
#include <unordered_set>

#include "../graph/overlay.h"
#include "../rules/measurement.h"

namespace korvane::engine {
namespace {

// Inputs up to this size look for repeats in the outcomes so far instead of in a hash set.
constexpr std::size_t scanned_inputs = 32;

template <GraphView Graph>
std::vector<TrialOutcome> measure_each(const Register& reg, Graph& trial,
                                       const std::vector<Qubit>& qubits, RandomSource& source) {
  std::vector<TrialOutcome> outcomes;
  outcomes.reserve(qubits.size());
  std::unordered_set<Qubit> visited;
  if (qubits.size() > scanned_inputs) visited.reserve(qubits.size());
  for (const Qubit q : qubits) {
    reg.check_index(q);
    // A repeated index is measured once, at its first occurrence.
    const bool repeated =
        qubits.size() > scanned_inputs
            ? !visited.insert(q).second
            : std::any_of(outcomes.begin(), outcomes.end(),
                          [q](const TrialOutcome& earlier) { return earlier.qubit == q; });
    if (repeated) continue;
    // A lone qubit is measured on the axis where it is certain, so nothing is drawn for it.
    const clifford::Axis axis = !trial.has_neighbor(q)
                                    ? clifford::x_preimage_table[clifford::adjoint(trial.vop(q))]
                                    : uniform_axis(source);
    const bool result = measure_on(trial, q, axis, source);
    outcomes.push_back({q, result, axis});
  }
  return outcomes;
}

}  // namespace

std::vector<TrialOutcome> peek_measure_set(const Register& reg, const std::vector<Qubit>& qubits,
                                           RandomSource& source) {
  return reg.visit([&](const auto& graph) {
    auto overlay = overlay_of(graph.vops(), graph.adjacency());
    auto trial = view_of(overlay, overlay);
    return measure_each(reg, trial, qubits, source);
  });
}

}  // namespace korvane::engine
