// Signed Pauli strings on N qubits, row by row: each row its X words, then its Z words (bit q of
// a part is qubit q's), and a sign. A factor is I, X, Z or Y as its bits are 00, 10, 01 or 11
// (Y = iXZ, so every factor is Hermitian). For bringing generators to a form by row operations.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../bits/word.h"

namespace korvane::engine {

// Exponent k (mod 4) of i in a * b = i^k c, over one word of 64 factors, c having the bits
// a ^ b: XY = iZ, YZ = iX and ZX = iY count +1, the reversed products -1.
inline unsigned word_product_phase(Word ax, Word az, Word bx, Word bz) {
  const Word a_x = ax & ~az;
  const Word a_y = ax & az;
  const Word a_z = ~ax & az;
  const Word b_x = bx & ~bz;
  const Word b_y = bx & bz;
  const Word b_z = ~bx & bz;
  const auto plus = static_cast<unsigned>(count_bits((a_x & b_y) | (a_y & b_z) | (a_z & b_x)));
  const auto minus = static_cast<unsigned>(count_bits((a_y & b_x) | (a_z & b_y) | (a_x & b_z)));
  return plus + 3 * minus;
}

class PauliRows {
 public:
  // N identity rows, signs +. Throws std::bad_alloc.
  explicit PauliRows(std::size_t qubits)
      : qubits_(qubits), words_(words_for(qubits)), bits_(qubits * 2 * words_), negative_(qubits) {}

  std::size_t qubits() const { return qubits_; }
  std::size_t words() const { return words_; }
  Word* x(std::size_t r) { return bits_.data() + r * 2 * words_; }
  Word* z(std::size_t r) { return x(r) + words_; }
  const Word* x(std::size_t r) const { return bits_.data() + r * 2 * words_; }
  const Word* z(std::size_t r) const { return x(r) + words_; }
  bool x_bit(std::size_t r, Qubit q) const { return (x(r)[word_of(q)] & bit_of(q)) != 0; }
  bool z_bit(std::size_t r, Qubit q) const { return (z(r)[word_of(q)] & bit_of(q)) != 0; }
  bool negative(std::size_t r) const { return negative_[r] != 0; }
  void set_negative(std::size_t r, bool negative) { negative_[r] = negative ? 1U : 0U; }

  // Sets the factor of row r at q to `axis`, signed.
  void set_factor(std::size_t r, Qubit q, clifford::Axis axis, bool negative) {
    if (axis != clifford::Axis::Z) x(r)[word_of(q)] |= bit_of(q);
    if (axis != clifford::Axis::X) z(r)[word_of(q)] |= bit_of(q);
    negative_[r] ^= negative ? 1U : 0U;
  }

  // Row `target` times row `source`; the two commute, so the product is Hermitian.
  void multiply(std::size_t target, std::size_t source) {
    unsigned phase = 2U * (unsigned{negative_[target]} + unsigned{negative_[source]});
    Word* const target_x = x(target);
    Word* const target_z = z(target);
    const Word* const source_x = x(source);
    const Word* const source_z = z(source);
    for (std::size_t w = 0; w < words_; ++w) {
      if ((source_x[w] | source_z[w]) == 0) continue;
      phase += word_product_phase(target_x[w], target_z[w], source_x[w], source_z[w]);
      target_x[w] ^= source_x[w];
      target_z[w] ^= source_z[w];
    }
    negative_[target] = phase % 4U == 2U ? 1U : 0U;
  }

  void swap_rows(std::size_t a, std::size_t b) {
    if (a == b) return;
    std::swap_ranges(x(a), x(a) + 2 * words_, x(b));
    std::swap(negative_[a], negative_[b]);
  }

  // "+XZ_Y": the sign, then one of _XYZ per qubit, qubit 0 first.
  std::string text(std::size_t r) const {
    std::string out(qubits_ + 1, '_');
    out[0] = negative_[r] != 0 ? '-' : '+';
    for (Qubit q = 0; q < qubits_; ++q) {
      out[q + 1] = "_XZY"[static_cast<unsigned>(x_bit(r, q)) | 2U * z_bit(r, q)];
    }
    return out;
  }

 private:
  std::size_t qubits_;
  std::size_t words_;
  std::vector<Word> bits_;
  std::vector<std::uint8_t> negative_;  // 1 for a minus sign
};

}  // namespace korvane::engine
