#include "program.h"

namespace korvane::circuit {

bool same_circuit(const Program& a, const Program& b) {
  // The channels and counts follow from the rest.
  return a.instructions == b.instructions && a.targets == b.targets && a.arguments == b.arguments &&
         a.repeat_counts == b.repeat_counts && a.conditions == b.conditions &&
         a.num_qubits == b.num_qubits;
}

}  // namespace korvane::circuit
