#include "graph_builder.h"

#include <string>

#include "../../clifford/local_clifford.h"
#include "../base.h"

namespace korvane::engine {
namespace {

[[noreturn]] void refuse_row(std::size_t row, std::int64_t a, std::int64_t b,
                             const std::string& why) {
  throw InvalidInput("edge row " + std::to_string(row) + " (" + std::to_string(a) + ", " +
                     std::to_string(b) + ") " + why);
}

bool in_range(std::int64_t index, std::size_t qubits) {
  return index >= 0 && static_cast<std::uint64_t>(index) < qubits;
}

}  // namespace

Register register_from_graph(std::size_t qubits, const std::int64_t* edges, std::size_t edge_rows,
                             const std::int64_t* vops) {
  // The VOPs first: a register is not worth building for a list that is wrong anyway.
  if (vops != nullptr) {
    for (std::size_t q = 0; q < qubits; ++q) {
      if (vops[q] < 0 || vops[q] >= static_cast<std::int64_t>(clifford::vop_count)) {
        throw InvalidInput("vops[" + std::to_string(q) + "] is " + std::to_string(vops[q]) +
                           ", and VOPs are 0..23");
      }
    }
  }
  Register reg(qubits);
  if (vops != nullptr) {
    for (std::size_t q = 0; q < qubits; ++q) reg.set_vop(q, static_cast<Vop>(vops[q]));
  } else {
    for (std::size_t q = 0; q < qubits; ++q) reg.set_vop(q, clifford::identity);
  }
  for (std::size_t row = 0; row < edge_rows; ++row) {
    const std::int64_t a = edges[2 * row];
    const std::int64_t b = edges[2 * row + 1];
    if (!in_range(a, qubits) || !in_range(b, qubits)) {
      refuse_row(row, a, b,
                 "names a qubit outside the register of " + std::to_string(qubits) + " qubits");
    }
    if (a == b) refuse_row(row, a, b, "is a self-loop");
    const auto first = static_cast<Qubit>(a);
    const auto second = static_cast<Qubit>(b);
    if (!reg.add_edge_if_absent(first, second)) refuse_row(row, a, b, "repeats an earlier edge");
  }
  reg.settle_storage();
  return reg;
}

}  // namespace korvane::engine
