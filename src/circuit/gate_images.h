// The Pauli images of the unitary gates, target by target: U X_i U† and U Z_i U† as a Pauli on
// each target of one application (signs dropped). Error analysis carries Pauli errors through
// gates by these images alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "instruction_set.h"

namespace korvane::circuit {

// A Pauli without sign as two bits: bit 0 its X part, bit 1 its Z part (Y = both).
using PauliBits = std::uint8_t;
inline constexpr PauliBits pauli_bits_x = 1;
inline constexpr PauliBits pauli_bits_z = 2;

constexpr PauliBits pauli_bits_of(Axis axis) {
  return axis == Axis::X ? pauli_bits_x : (axis == Axis::Z ? pauli_bits_z : PauliBits{3});
}

// Whether two Paulis on one qubit anticommute.
constexpr bool anticommute(PauliBits a, PauliBits b) {
  const unsigned crossed = ((a & 1U) & (b >> 1U)) ^ ((a >> 1U) & (b & 1U));
  return crossed != 0;
}

// Images on the (one or two) targets of one application.
struct GateImages {
  std::size_t arity = 1;
  // x_image[i][j]: the Pauli on target j of U X_i U†; z_image likewise.
  std::array<std::array<PauliBits, 2>, 2> x_image{};
  std::array<std::array<PauliBits, 2>, 2> z_image{};
};

namespace detail {

constexpr GateImages single_qubit_images(Vop vop) {
  GateImages images;
  images.x_image[0][0] = pauli_bits_of(clifford::image_axis(Axis::X, vop));
  images.z_image[0][0] = pauli_bits_of(clifford::image_axis(Axis::Z, vop));
  return images;
}

constexpr PauliBits letter_bits(char letter) {
  return letter == 'X' ? pauli_bits_x : (letter == 'Y' ? PauliBits{3} : pauli_bits_z);
}

// P-controlled Q (named "CX", "XCY", ...: P the first letter, Z when it is C; Q the last) is
// P+ (x) I + P- (x) Q: a Pauli on the control anticommuting with P gains Q on the target, and a
// Pauli on the target anticommuting with Q gains P on the control.
constexpr GateImages controlled_images(std::string_view name) {
  const PauliBits p = name.front() == 'C' ? pauli_bits_z : letter_bits(name.front());
  const PauliBits q = letter_bits(name.back());
  GateImages images;
  images.arity = 2;
  const auto image = [&](std::size_t target, PauliBits pauli) {
    std::array<PauliBits, 2> result{};
    result[target] = pauli;
    if (target == 0 && anticommute(pauli, p)) result[1] = q;
    if (target == 1 && anticommute(pauli, q)) result[0] = p;
    return result;
  };
  for (std::size_t target = 0; target < 2; ++target) {
    images.x_image[target] = image(target, pauli_bits_x);
    images.z_image[target] = image(target, pauli_bits_z);
  }
  return images;
}

constexpr GateImages swap_images() {
  GateImages images;
  images.arity = 2;
  images.x_image = {{{0, pauli_bits_x}, {pauli_bits_x, 0}}};
  images.z_image = {{{0, pauli_bits_z}, {pauli_bits_z, 0}}};
  return images;
}

}  // namespace detail

// Indexed by Gate; meaningful for the kinds clifford, controlled and swap.
inline constexpr std::array<GateImages, gate_count> gate_images = [] {
  std::array<GateImages, gate_count> table{};
  for (std::size_t g = 0; g < gate_count; ++g) {
    const GateInfo& gate = gate_table[g];
    if (gate.kind == Kind::clifford) table[g] = detail::single_qubit_images(gate.operand);
    if (gate.kind == Kind::controlled) table[g] = detail::controlled_images(gate.name);
    if (gate.kind == Kind::swap) table[g] = detail::swap_images();
  }
  return table;
}();

constexpr const GateImages& images_of(Gate gate) {
  return gate_images[static_cast<std::size_t>(gate)];
}

}  // namespace korvane::circuit
