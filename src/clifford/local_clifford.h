// The 24 single-qubit Clifford operators (modulo a global phase) and the constant tables over
// their numbering. Index 4m + k stands for C_4m * C_k, where C_0..C_3 are I, X, Y, Z: the Pauli
// factor acts first. Every VOP change in the engine is a read of one of these tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane::clifford {

// A VOP index 0..23.
using Vop = std::uint8_t;

inline constexpr std::size_t vop_count = 24;

// Measurement axis; the numbers index the rows of the image axis table.
enum class Axis : std::uint8_t { X = 0, Y = 1, Z = 2 };

// Elements that the engine uses by name.
inline constexpr Vop identity = 0;
inline constexpr Vop pauli_x = 1;
inline constexpr Vop pauli_y = 2;
inline constexpr Vop pauli_z = 3;
inline constexpr Vop s_dagger = 5;
inline constexpr Vop s_gate = 6;
inline constexpr Vop minus_sqrt_iy = 9;  // (I - iY)/sqrt(2)
inline constexpr Vop hadamard = 10;
inline constexpr Vop plus_sqrt_iy = 11;  // (I + iY)/sqrt(2)
inline constexpr Vop plus_sqrt_ix =
    14;  // (I + iX)/sqrt(2): the VOP change of local complementation

// Row a, column b holds the index of C_a * C_b: C_b acts first, C_a second.
inline constexpr std::array<std::array<Vop, vop_count>, vop_count> product_table{{
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23},  // 0
    {1, 0, 3, 2, 6, 7, 4, 5, 11, 10, 9, 8, 13, 12, 15, 14, 19, 18, 17, 16, 22, 23, 20, 21},  // 1
    {2, 3, 0, 1, 5, 4, 7, 6, 10, 11, 8, 9, 15, 14, 13, 12, 17, 16, 19, 18, 23, 22, 21, 20},  // 2
    {3, 2, 1, 0, 7, 6, 5, 4, 9, 8, 11, 10, 14, 15, 12, 13, 18, 19, 16, 17, 21, 20, 23, 22},  // 3
    {4, 5, 6, 7, 0, 1, 2, 3, 20, 21, 22, 23, 16, 17, 18, 19, 12, 13, 14, 15, 8, 9, 10, 11},  // 4
    {5, 4, 7, 6, 2, 3, 0, 1, 23, 22, 21, 20, 17, 16, 19, 18, 15, 14, 13, 12, 10, 11, 8, 9},  // 5
    {6, 7, 4, 5, 1, 0, 3, 2, 22, 23, 20, 21, 19, 18, 17, 16, 13, 12, 15, 14, 11, 10, 9, 8},  // 6
    {7, 6, 5, 4, 3, 2, 1, 0, 21, 20, 23, 22, 18, 19, 16, 17, 14, 15, 12, 13, 9, 8, 11, 10},  // 7
    {8, 9, 10, 11, 16, 17, 18, 19, 0, 1, 2, 3, 20, 21, 22, 23, 4, 5, 6, 7, 12, 13, 14, 15},  // 8
    {9, 8, 11, 10, 18, 19, 16, 17, 3, 2, 1, 0, 21, 20, 23, 22, 7, 6, 5, 4, 14, 15, 12, 13},  // 9
    {10, 11, 8, 9, 17, 16, 19, 18, 2, 3, 0, 1, 23, 22, 21, 20, 5, 4, 7, 6, 15, 14, 13, 12},  // 10
    {11, 10, 9, 8, 19, 18, 17, 16, 1, 0, 3, 2, 22, 23, 20, 21, 6, 7, 4, 5, 13, 12, 15, 14},  // 11
    {12, 13, 14, 15, 20, 21, 22, 23, 16, 17, 18, 19, 0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7},  // 12
    {13, 12, 15, 14, 22, 23, 20, 21, 19, 18, 17, 16, 1, 0, 3, 2, 11, 10, 9, 8, 6, 7, 4, 5},  // 13
    {14, 15, 12, 13, 21, 20, 23, 22, 18, 19, 16, 17, 3, 2, 1, 0, 9, 8, 11, 10, 7, 6, 5, 4},  // 14
    {15, 14, 13, 12, 23, 22, 21, 20, 17, 16, 19, 18, 2, 3, 0, 1, 10, 11, 8, 9, 5, 4, 7, 6},  // 15
    {16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 15, 4, 5, 6, 7, 20, 21, 22, 23, 0, 1, 2, 3},  // 16
    {17, 16, 19, 18, 10, 11, 8, 9, 15, 14, 13, 12, 5, 4, 7, 6, 23, 22, 21, 20, 2, 3, 0, 1},  // 17
    {18, 19, 16, 17, 9, 8, 11, 10, 14, 15, 12, 13, 7, 6, 5, 4, 21, 20, 23, 22, 3, 2, 1, 0},  // 18
    {19, 18, 17, 16, 11, 10, 9, 8, 13, 12, 15, 14, 6, 7, 4, 5, 22, 23, 20, 21, 1, 0, 3, 2},  // 19
    {20, 21, 22, 23, 12, 13, 14, 15, 4, 5, 6, 7, 8, 9, 10, 11, 0, 1, 2, 3, 16, 17, 18, 19},  // 20
    {21, 20, 23, 22, 14, 15, 12, 13, 7, 6, 5, 4, 9, 8, 11, 10, 3, 2, 1, 0, 18, 19, 16, 17},  // 21
    {22, 23, 20, 21, 13, 12, 15, 14, 6, 7, 4, 5, 11, 10, 9, 8, 1, 0, 3, 2, 19, 18, 17, 16},  // 22
    {23, 22, 21, 20, 15, 14, 13, 12, 5, 4, 7, 6, 10, 11, 8, 9, 2, 3, 0, 1, 17, 16, 19, 18},  // 23
}};

// Entry a holds the index of the inverse (adjoint) of C_a.
inline constexpr std::array<Vop, vop_count> adjoint_table{
    0, 1, 2, 3, 4, 6, 5, 7, 8, 11, 10, 9, 12, 13, 15, 14, 20, 22, 23, 21, 16, 19, 17, 18};

// Row P, column c holds the axis of C_c * P * C_c^dagger.
inline constexpr std::array<std::array<Axis, vop_count>, 3> image_axis_table{{
    {Axis::X, Axis::X, Axis::X, Axis::X, Axis::Y, Axis::Y, Axis::Y, Axis::Y,
     Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::X, Axis::X, Axis::X, Axis::X,
     Axis::Y, Axis::Y, Axis::Y, Axis::Y, Axis::Z, Axis::Z, Axis::Z, Axis::Z},
    {Axis::Y, Axis::Y, Axis::Y, Axis::Y, Axis::X, Axis::X, Axis::X, Axis::X,
     Axis::Y, Axis::Y, Axis::Y, Axis::Y, Axis::Z, Axis::Z, Axis::Z, Axis::Z,
     Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::X, Axis::X, Axis::X, Axis::X},
    {Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::Z,
     Axis::X, Axis::X, Axis::X, Axis::X, Axis::Y, Axis::Y, Axis::Y, Axis::Y,
     Axis::X, Axis::X, Axis::X, Axis::X, Axis::Y, Axis::Y, Axis::Y, Axis::Y},
}};

// Entry c holds the axis of C_c^dagger * X * C_c: the axis that C_c carries onto +-X.
inline constexpr std::array<Axis, vop_count> x_preimage_table{
    Axis::X, Axis::X, Axis::X, Axis::X, Axis::Y, Axis::Y, Axis::Y, Axis::Y,
    Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::X, Axis::X, Axis::X, Axis::X,
    Axis::Z, Axis::Z, Axis::Z, Axis::Z, Axis::Y, Axis::Y, Axis::Y, Axis::Y};

constexpr Vop product(Vop left, Vop right) { return product_table[left][right]; }

constexpr Vop adjoint(Vop v) { return adjoint_table[v]; }

constexpr Axis image_axis(Axis pauli, Vop c) {
  return image_axis_table[static_cast<std::size_t>(pauli)][c];
}

// True when C_c * P * C_c^dagger carries a minus sign. With c = 4m + k: exactly one of "m is 1, 2
// or 3" and "k is neither 0 nor P's number plus one" holds.
constexpr bool image_sign(Vop c, Axis pauli) {
  const unsigned block = c / 4U;
  const unsigned pauli_factor = c % 4U;
  const unsigned axis_factor = static_cast<unsigned>(pauli) + 1U;
  const bool negating_block = block >= 1U && block <= 3U;
  const bool anticommuting_factor = pauli_factor != 0U && pauli_factor != axis_factor;
  return negating_block != anticommuting_factor;
}

}  // namespace korvane::clifford
