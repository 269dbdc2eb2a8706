// The circuit gates that apply a given single-qubit Clifford: the gate of that VOP, or a Pauli
// followed by a named gate where no gate of the format names the VOP itself.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "../gates/gate_table.h"

namespace korvane::circuit::qasm {

struct VopGates {
  std::array<GateId, 2> gates{};
  std::size_t count = 0;
};

inline constexpr std::array<VopGates, clifford::vop_count> vop_gates = [] {
  constexpr std::size_t vops = clifford::vop_count;
  std::array<VopGates, vops> table{};
  for (std::size_t g = 0; g < gate_count; ++g) {
    const auto gate = static_cast<GateId>(g);
    if (gate_of(gate).kind != Kind::clifford || table[vop_of(gate)].count != 0) continue;
    table[vop_of(gate)] = {{gate, gate}, 1};
  }
  for (Vop v = 0; v < vops; ++v) {
    for (std::size_t g = 0; g < gate_count && table[v].count == 0; ++g) {
      const auto gate = static_cast<GateId>(g);
      if (gate_of(gate).kind != Kind::clifford) continue;
      for (const GateId pauli : {gate_named("X"), gate_named("Y"), gate_named("Z")}) {
        if (clifford::product(vop_of(gate), vop_of(pauli)) == v) {
          table[v] = {{pauli, gate}, 2};
          break;
        }
      }
    }
  }
  return table;
}();

static_assert(std::all_of(vop_gates.begin(), vop_gates.end(),
                          [](const VopGates& entry) { return entry.count != 0; }));

}  // namespace korvane::circuit::qasm
