#include "tableau_operations.h"

#include "../rules/controlled_z.h"

namespace korvane::engine {

std::size_t cz_on_tableau(VopArray& vops, StabilizerTableau& tableau, Qubit a, Qubit b) {
  const ZImage image_a = z_image(vops.vop(a));
  const ZImage image_b = z_image(vops.vop(b));
  tableau.controlled_pauli(image_a.axis, a, image_b.axis, b);
  if (image_b.negative) vops.set_vop(a, clifford::product(vops.vop(a), pauli_of(image_a.axis)));
  if (image_a.negative) vops.set_vop(b, clifford::product(vops.vop(b), pauli_of(image_b.axis)));
  return 5 * tableau.column_words();
}

MeasuredOnTableau measure_on_tableau(VopArray& vops, StabilizerTableau& tableau, Qubit q,
                                     clifford::Axis axis, RandomSource& source) {
  const clifford::Vop adjoint = clifford::adjoint(vops.vop(q));
  const clifford::Axis tableau_axis = clifford::image_axis(axis, adjoint);
  const bool sign_flip = clifford::image_sign(adjoint, axis);
  const bool random = tableau.begin_measurement(q, tableau_axis);
  const TableauOutcome measured = tableau.end_measurement(random && random_bit(source));
  return {sign_flip != measured.outcome, measured.work};
}

}  // namespace korvane::engine
