// Word loops over tableau columns: the controlled-Pauli gate and the row products of a
// measurement, each on all rows of a word at once. Short columns run inline; long ones go to
// kernels built for several instruction sets (column_kernels.cpp).
#pragma once

#include <cstddef>

#include <array>

#include "../../clifford/local_clifford.h"
#include "../base.h"

namespace korvane::engine {

// The x and z bits of a Pauli on one qubit: X is 10, Z is 01, Y is 11.
struct PauliBits {
  bool x = false;
  bool z = false;
};

constexpr PauliBits pauli_bits(clifford::Axis axis) {
  return {axis != clifford::Axis::Z, axis != clifford::Axis::X};
}

// The Pauli before `axis` in the cycle X -> Y -> Z -> X: a factor r times `axis` is +i times a
// third Pauli exactly when r is this one (XY = iZ, YZ = iX, ZX = iY).
constexpr clifford::Axis axis_before(clifford::Axis axis) {
  switch (axis) {
    case clifford::Axis::X:
      return clifford::Axis::Z;
    case clifford::Axis::Y:
      return clifford::Axis::X;
    case clifford::Axis::Z:
      return clifford::Axis::Y;
  }
  return clifford::Axis::Z;
}

// The rows whose factor has exactly the bits of `pauli` (given as masks), out of factors x, z.
constexpr Word rows_equal_to(Word x, Word z, Word pauli_x, Word pauli_z) {
  return ~((x ^ pauli_x) | (z ^ pauli_z));
}

// One Pauli as masks: its bits, and the bits of the Pauli before it in the cycle.
struct PauliMasks {
  Word x;
  Word z;
  Word before_x;
  Word before_z;

  // Without branches or loads: X has an x bit, Z a z bit, Y both; the one before X is Z, the one
  // before Y is X, the one before Z is Y.
  static constexpr PauliMasks of(clifford::Axis axis) {
    return {mask_if(axis != clifford::Axis::Z), mask_if(axis != clifford::Axis::X),
            mask_if(axis != clifford::Axis::X), mask_if(axis != clifford::Axis::Y)};
  }
};

static_assert(PauliMasks::of(clifford::Axis::Y).before_x ==
              mask_if(pauli_bits(clifford::Axis::X).x));
static_assert(PauliMasks::of(clifford::Axis::X).before_z ==
              mask_if(pauli_bits(clifford::Axis::Z).z));

// The controlled-Pauli gate on one word of rows. A row meets P when its factor at a
// anticommutes with P; it then gains Q at b, and meeting Q it gains P at a. Meeting both, its
// sign flips unless exactly one of the two products r_a P and r_b Q carries +i.
inline void controlled_pauli_word(Word& xa, Word& za, Word& xb, Word& zb, Word& sign,
                                  const PauliMasks& p, const PauliMasks& q) {
  const Word ax = xa;
  const Word az = za;
  const Word bx = xb;
  const Word bz = zb;
  const Word meets_p = (ax & p.z) ^ (az & p.x);
  const Word meets_q = (bx & q.z) ^ (bz & q.x);
  const Word a_before = rows_equal_to(ax, az, p.before_x, p.before_z);
  const Word b_before = rows_equal_to(bx, bz, q.before_x, q.before_z);
  sign ^= meets_p & meets_q & (a_before ^ b_before);
  xb = bx ^ (meets_p & q.x);
  zb = bz ^ (meets_p & q.z);
  xa = ax ^ (meets_q & p.x);
  za = az ^ (meets_q & p.z);
}

// A pivot row's factor at one qubit, for multiplying it into other rows: its bits, and the
// factors a row must have there for the product to carry +i (the one before it in the cycle)
// or -i (the one after).
struct PivotFactorMasks {
  PauliMasks factor;
  Word after_x;
  Word after_z;

  static constexpr PivotFactorMasks of(clifford::Axis axis) {
    const PauliBits after = pauli_bits(axis_before(axis_before(axis)));
    return {PauliMasks::of(axis), mask_if(after.x), mask_if(after.z)};
  }
};

// Rows `rows` of one word times the pivot at one qubit: their factors gain the pivot's, and the
// phase i^k of each product is added to a two-bit counter per row (low and high bits).
inline void multiply_rows_word(Word& x, Word& z, Word& low, Word& high, Word rows,
                               const PivotFactorMasks& pivot) {
  const Word plus = rows & rows_equal_to(x, z, pivot.factor.before_x, pivot.factor.before_z);
  const Word minus = rows & rows_equal_to(x, z, pivot.after_x, pivot.after_z);
  high ^= (low & plus) | (~low & minus);
  low ^= plus | minus;
  x ^= rows & pivot.factor.x;
  z ^= rows & pivot.factor.z;
}

// The same over `words` consecutive words.
void multiply_rows_long(Word* x, Word* z, Word* low, Word* high, const Word* rows,
                        std::size_t words, const PivotFactorMasks& pivot) noexcept;

void controlled_pauli_long(Word* a, Word* b, Word* signs, std::size_t words, const PauliMasks& p,
                           const PauliMasks& q) noexcept;

// Columns of at most this many words run inline.
inline constexpr std::size_t short_column_words = 4;

// The gate on columns a and b (each x words then z words) and the signs.
inline void controlled_pauli_columns(Word* a, Word* b, Word* signs, std::size_t words,
                                     const PauliMasks& p, const PauliMasks& q) {
  if (words == 1) {
    controlled_pauli_word(a[0], a[1], b[0], b[1], signs[0], p, q);
    return;
  }
  if (words > short_column_words) {
    controlled_pauli_long(a, b, signs, words, p, q);
    return;
  }
  for (std::size_t w = 0; w < words; ++w) {
    controlled_pauli_word(a[w], a[words + w], b[w], b[words + w], signs[w], p, q);
  }
}

}  // namespace korvane::engine
