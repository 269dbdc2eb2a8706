#include "measure.h"

#include "rules/measurement.h"
#include "tableau/tableau_operations.h"

namespace korvane::engine {

bool measure(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source) {
  reg.check_index(q);
  if (const auto state = reg.tableau_state()) {
    const MeasuredOnTableau measured =
        measure_on_tableau(state->vops, state->tableau, q, axis, source);
    reg.settle_after(OperationKind::measurement, measured.work);
    return measured.outcome;
  }
  const bool result = reg.visit([&](auto& graph) { return measure_on(graph, q, axis, source); });
  reg.settle_after(OperationKind::measurement);
  return result;
}

}  // namespace korvane::engine
