#include "measure.h"

#include "../rules/measurement.h"
#include "../tableau/tableau_operations.h"

namespace korvane::engine {

bool measure(Register& reg, Qubit q, clifford::Axis axis, RandomSource& source) {
  return reg.change_either(
      OperationKind::measurement, {q},
      [&](auto& graph) { return measure_on(graph, q, axis, source); },
      [&](const VopArray& vops, StabilizerTableau& tableau, std::size_t& work) {
        const MeasuredOnTableau measured = measure_on_tableau(vops, tableau, q, axis, source);
        work = measured.work;
        return measured.outcome;
      });
}

}  // namespace korvane::engine
