// The name of each of the 24 single-qubit Cliffords, as the circuit format names the gate that
// applies it: H, S, SQRT_X_DAG, C_XYZ, and the signed ones (C_NXYZ, H_NXY, ...) where no gate of
// the instruction set applies it yet.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

#include "../circuit/instruction_set.h"

namespace korvane::picture {

namespace detail {

struct SignedName {
  std::string_view name;
  circuit::SignedAxis x_image;
  circuit::SignedAxis z_image;
};

using namespace circuit::images;
inline constexpr std::array<SignedName, 9> signed_cliffords{{
    {"C_NXYZ", minus_y, minus_x},
    {"C_NZYX", minus_z, minus_y},
    {"C_XNYZ", minus_y, plus_x},
    {"C_XYNZ", plus_y, minus_x},
    {"C_ZNYX", plus_z, minus_y},
    {"C_ZYNX", minus_z, plus_y},
    {"H_NXY", minus_y, minus_z},
    {"H_NXZ", minus_z, minus_x},
    {"H_NYZ", minus_x, minus_y},
}};

}  // namespace detail

inline constexpr std::array<std::string_view, clifford::vop_count> vop_names = [] {
  constexpr std::size_t gates = circuit::gate_count;
  std::array<std::string_view, clifford::vop_count> names{};
  for (std::size_t g = 0; g < gates; ++g) {
    const circuit::GateInfo& gate = circuit::gate_table[g];
    if (gate.kind == circuit::Kind::clifford && names[gate.operand].empty()) {
      names[gate.operand] = gate.name;
    }
  }
  for (const detail::SignedName& entry : detail::signed_cliffords) {
    names[circuit::vop_with_images(entry.x_image, entry.z_image)] = entry.name;
  }
  return names;
}();

static_assert(std::all_of(vop_names.begin(), vop_names.end(),
                          [](std::string_view name) { return !name.empty(); }));

}  // namespace korvane::picture
