// The name of each of the 24 single-qubit Cliffords, as the circuit format names the gate that
// applies it: H, S, SQRT_X_DAG, C_XYZ, and the signed ones (C_NXYZ, H_NXY, ...) where no gate of
// the instruction set applies it yet.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

#include "../circuit/gates/gate_table.h"

namespace korvane::picture {

namespace detail {

struct SignedName {
  std::string_view name;
  std::string_view x_image;
  std::string_view z_image;
};

inline constexpr std::array<SignedName, 9> signed_cliffords{{
    {"C_NXYZ", "-Y", "-X"},
    {"C_NZYX", "-Z", "-Y"},
    {"C_XNYZ", "-Y", "+X"},
    {"C_XYNZ", "+Y", "-X"},
    {"C_ZNYX", "+Z", "-Y"},
    {"C_ZYNX", "-Z", "+Y"},
    {"H_NXY", "-Y", "-Z"},
    {"H_NXZ", "-Z", "-X"},
    {"H_NYZ", "-X", "-Y"},
}};

}  // namespace detail

inline constexpr std::array<std::string_view, clifford::vop_count> vop_names = [] {
  constexpr std::size_t gates = circuit::gate_count;
  std::array<std::string_view, clifford::vop_count> names{};
  for (std::size_t g = 0; g < gates; ++g) {
    const circuit::Gate& gate = circuit::gate_table[g];
    if (gate.kind == circuit::Kind::clifford && names[circuit::gate_vops[g]].empty()) {
      names[circuit::gate_vops[g]] = gate.name;
    }
  }
  for (const detail::SignedName& entry : detail::signed_cliffords) {
    names[circuit::vop_with_images(circuit::image(entry.x_image), circuit::image(entry.z_image))] =
        entry.name;
  }
  return names;
}();

static_assert(std::all_of(vop_names.begin(), vop_names.end(),
                          [](std::string_view name) { return !name.empty(); }));

}  // namespace korvane::picture
