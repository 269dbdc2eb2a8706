#include "engine/local_complement.h"

#include <cstddef>

#include "clifford/local_clifford.h"

namespace korvane::engine {

void local_complement(Register& reg, Qubit v) {
  reg.check_index(v);
  // Toggles touch only pairs of v's neighbours, so v's own list stays as it is and is read in
  // place.
  const std::vector<Qubit>& list = reg.node(v).neighbors;
  const std::size_t degree = list.size();
  for (std::size_t i = 0; i < degree; ++i) {
    for (std::size_t j = i + 1; j < degree; ++j) reg.toggle_edge(list[i], list[j]);
    reg.multiply_right(list[i], clifford::s_gate);
  }
  reg.multiply_right(v, clifford::plus_sqrt_ix);
}

void remove_vop(Register& reg, Qubit v, Qubit avoid) {
  reg.check_index(v);
  Qubit partner = avoid;
  for (const Qubit w : reg.node(v).neighbors) {
    if (w != avoid) {
      partner = w;
      break;
    }
  }
  const clifford::ReductionSequence& sequence = clifford::reduction_table[reg.node(v).vop];
  for (std::size_t k = 0; k < sequence.length; ++k) {
    local_complement(reg, sequence.steps[k] == clifford::vertex_step ? v : partner);
  }
}

}  // namespace korvane::engine
