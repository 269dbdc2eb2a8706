#include "tableau_operations.h"

namespace korvane::engine {

MeasuredOnTableau measure_on_tableau(const VopArray& vops, StabilizerTableau& tableau, Qubit q,
                                     clifford::Axis axis, RandomSource& source) {
  const clifford::Vop adjoint = clifford::adjoint(vops.vop(q));
  const clifford::Axis tableau_axis = clifford::image_axis(axis, adjoint);
  const bool sign_flip = clifford::image_sign(adjoint, axis);
  const bool random = tableau.begin_measurement(q, tableau_axis);
  // A random outcome is the drawn bit itself, so that it does not depend on how the state came to
  // be held (which VOPs stand beside which tableau): the tableau's own axis takes it corrected.
  const bool drawn = random && random_bit(source);
  const TableauOutcome measured = tableau.end_measurement(drawn != sign_flip);
  return {sign_flip != measured.outcome, measured.work};
}

}  // namespace korvane::engine
