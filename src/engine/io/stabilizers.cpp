#include "stabilizers.h"

#include <cstddef>
#include <string>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../containers/pauli_rows.h"

namespace korvane::engine {
namespace {

// Row v: the graph state's generator X_v Z_N(v), with each factor carried through its qubit's
// VOP, since the register's state is the graph state with the VOPs applied.
PauliRows graph_generators(const Register& reg) {
  PauliRows rows(reg.size());
  for (Qubit v = 0; v < reg.size(); ++v) {
    const auto put = [&](Qubit q, clifford::Axis pauli) {
      const Vop vop = reg.vop(q);
      rows.set_factor(v, q, clifford::image_axis(pauli, vop), clifford::image_sign(vop, pauli));
    };
    put(v, clifford::Axis::X);
    reg.for_each_neighbor(v, [&](Qubit w) { put(w, clifford::Axis::Z); });
  }
  return rows;
}

// Brings the rows to the canonical form, one bit column at a time: X of qubit 0, Z of qubit 0,
// X of qubit 1, and so on.
template <class HasBit>
void reduce_column(PauliRows& rows, std::size_t qubits, std::size_t& next, HasBit has_bit) {
  std::size_t pivot = next;
  while (pivot < qubits && !has_bit(pivot)) ++pivot;
  if (pivot == qubits) return;
  for (std::size_t r = 0; r < qubits; ++r) {
    if (r != pivot && has_bit(r)) rows.multiply(r, pivot);
  }
  rows.swap_rows(pivot, next);
  ++next;
}

}  // namespace

std::vector<std::string> canonical_stabilizers(const Register& reg, StopCheck* stop) {
  const std::size_t qubits = reg.size();
  if (qubits > largest_stabilizer_register) {
    throw InvalidInput("stabilizers() answers for at most " +
                       std::to_string(largest_stabilizer_register) +
                       " qubits (the answer grows with the square of the size); this register "
                       "has " +
                       std::to_string(qubits));
  }
  PauliRows rows = graph_generators(reg);
  StopPacer pacer(stop);
  std::size_t next = 0;
  for (Qubit q = 0; q < qubits; ++q) {
    // Each column reads every row and may add the pivot row into each.
    pacer.count(qubits);
    reduce_column(rows, qubits, next, [&](std::size_t r) { return rows.x_bit(r, q); });
    reduce_column(rows, qubits, next, [&](std::size_t r) { return rows.z_bit(r, q); });
  }
  std::vector<std::string> texts;
  texts.reserve(qubits);
  for (std::size_t r = 0; r < qubits; ++r) texts.push_back(rows.text(r));
  return texts;
}

}  // namespace korvane::engine
