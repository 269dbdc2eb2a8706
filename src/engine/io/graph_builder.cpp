#include "graph_builder.h"

#include <string>

#include "../../clifford/local_clifford.h"
#include "../base.h"

namespace korvane::engine {
namespace {

[[noreturn]] void refuse_row(const GivenIntegers& edges, std::size_t row, const std::string& why) {
  throw InvalidInput("edge row " + std::to_string(row) + " (" + edges.text(2 * row) + ", " +
                     edges.text(2 * row + 1) + ") " + why);
}

}  // namespace

Register register_from_graph(std::size_t qubits, GivenIntegers edges, std::size_t edge_rows,
                             GivenIntegers vops) {
  // The VOPs first: a register is not worth building for a list that is wrong anyway.
  if (vops.present()) {
    for (std::size_t q = 0; q < qubits; ++q) {
      if (!vops.below(q, clifford::vop_count)) {
        throw InvalidInput("vops[" + std::to_string(q) + "] is " + vops.text(q) +
                           ", and VOPs are 0..23");
      }
    }
  }
  Register reg(qubits);
  if (vops.present()) {
    for (std::size_t q = 0; q < qubits; ++q) reg.set_vop(q, static_cast<Vop>(vops[q]));
  } else {
    for (std::size_t q = 0; q < qubits; ++q) reg.set_vop(q, clifford::identity);
  }
  for (std::size_t row = 0; row < edge_rows; ++row) {
    if (!edges.below(2 * row, qubits) || !edges.below(2 * row + 1, qubits)) {
      refuse_row(edges, row,
                 "names a qubit outside the register of " + std::to_string(qubits) + " qubits");
    }
    const auto first = static_cast<Qubit>(edges[2 * row]);
    const auto second = static_cast<Qubit>(edges[2 * row + 1]);
    if (first == second) refuse_row(edges, row, "is a self-loop");
    if (!reg.add_edge_if_absent(first, second)) refuse_row(edges, row, "repeats an earlier edge");
  }
  reg.settle_storage();
  return reg;
}

}  // namespace korvane::engine
