// The name of each of the 24 single-qubit Cliffords: the name of the gate of the circuit format
// that applies it (H, S, SQRT_X_DAG, C_XYZ, H_NXY, ...).
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

#include "../circuit/gates/gate_table.h"

namespace korvane::picture {

inline constexpr std::array<std::string_view, clifford::vop_count> vop_names = [] {
  constexpr std::size_t gates = circuit::gate_count;
  std::array<std::string_view, clifford::vop_count> names{};
  for (std::size_t g = 0; g < gates; ++g) {
    const circuit::Gate& gate = circuit::gate_table[g];
    if (gate.kind == circuit::Kind::clifford && names[circuit::gate_vops[g]].empty()) {
      names[circuit::gate_vops[g]] = gate.name;
    }
  }
  return names;
}();

static_assert(std::all_of(vop_names.begin(), vop_names.end(),
                          [](std::string_view name) { return !name.empty(); }));

}  // namespace korvane::picture
