// A signed Pauli string on n qubits, bit-packed: qubit q's factor is I, X, Z or Y as its x and z
// bits are 00, 10, 01 or 11 (Y = iXZ, so every factor is Hermitian), and the whole string is
// (-1)^negative times the tensor product of the factors.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/bits/word.h"

namespace korvane::testing {

using engine::bit_of;
using engine::Word;
using engine::word_bits;
using engine::words_for;

// The x and z bits of a single-qubit factor along `axis`.
struct PauliBits {
  bool x;
  bool z;
};

constexpr PauliBits bits_of(clifford::Axis axis) {
  switch (axis) {
    case clifford::Axis::X:
      return {true, false};
    case clifford::Axis::Y:
      return {true, true};
    case clifford::Axis::Z:
      return {false, true};
  }
  return {false, false};
}

// Exponent k (mod 4) with a * b = i^k c for single-qubit factors, c the factor with bits a ^ b:
// XY = iZ, YZ = iX, ZX = iY give 1, the reversed products 3, commuting factors 0.
constexpr unsigned factor_product_phase(PauliBits a, PauliBits b) {
  const bool anticommute = (a.x && b.z) != (a.z && b.x);
  if (!anticommute) return 0;
  // Places in the cycle X -> Y -> Z -> X; two anticommuting factors are both non-identity.
  auto place = [](PauliBits p) { return p.x ? (p.z ? 1U : 0U) : 2U; };
  return place(b) == (place(a) + 1U) % 3U ? 1U : 3U;
}

// Exponent k (mod 4) with a * b = i^k c over one word of 64 qubits, where c has bits a ^ b and
// signs are left out: XY = iZ, YZ = iX, ZX = iY count +1; the reversed products count -1.
constexpr unsigned word_product_phase(Word ax, Word az, Word bx, Word bz) {
  const Word a_x_only = ax & ~az;
  const Word a_y = ax & az;
  const Word a_z_only = ~ax & az;
  const Word b_x_only = bx & ~bz;
  const Word b_y = bx & bz;
  const Word b_z_only = ~bx & bz;
  const auto plus = static_cast<unsigned>(
      std::popcount((a_x_only & b_y) | (a_y & b_z_only) | (a_z_only & b_x_only)));
  const auto minus = static_cast<unsigned>(
      std::popcount((a_y & b_x_only) | (a_z_only & b_y) | (a_x_only & b_z_only)));
  return (plus + 3 * minus) % 4;
}

class PauliString {
 public:
  // The identity on `qubits` qubits, sign +.
  explicit PauliString(std::size_t qubits)
      : qubits_(qubits), x_(words_for(qubits)), z_(words_for(qubits)) {}

  // From packed words (bit q % 64 of word q / 64 is qubit q; bits past the last qubit clear).
  PauliString(std::size_t qubits, std::vector<Word> x, std::vector<Word> z, bool negative)
      : qubits_(qubits), x_(std::move(x)), z_(std::move(z)), negative_(negative) {
    if (x_.size() != words_for(qubits) || z_.size() != words_for(qubits))
      throw std::invalid_argument("Pauli string words do not match the qubit count");
  }

  // +P on qubit q, identity elsewhere.
  static PauliString single(std::size_t qubits, std::size_t q, clifford::Axis axis) {
    PauliString pauli(qubits);
    const PauliBits bits = bits_of(axis);
    pauli.set(q, bits.x, bits.z);
    return pauli;
  }

  // From "+XZ_Y": a sign, then one of _XYZ per qubit, qubit 0 first.
  static PauliString from_text(const std::string& text) {
    if (text.empty() || (text[0] != '+' && text[0] != '-'))
      throw std::invalid_argument("a Pauli string starts with its sign: " + text);
    PauliString pauli(text.size() - 1);
    pauli.negative_ = text[0] == '-';
    for (std::size_t q = 0; q + 1 < text.size(); ++q) {
      const char letter = text[q + 1];
      if (letter != '_' && letter != 'X' && letter != 'Y' && letter != 'Z')
        throw std::invalid_argument("not a Pauli letter in " + text);
      pauli.set(q, letter == 'X' || letter == 'Y', letter == 'Z' || letter == 'Y');
    }
    return pauli;
  }

  std::size_t qubits() const { return qubits_; }

  bool x(std::size_t q) const { return (x_[q / word_bits] & bit_of(q)) != 0; }
  bool z(std::size_t q) const { return (z_[q / word_bits] & bit_of(q)) != 0; }
  bool negative() const { return negative_; }

  void set(std::size_t q, bool x_bit, bool z_bit) {
    assign_bit(x_[q / word_bits], q, x_bit);
    assign_bit(z_[q / word_bits], q, z_bit);
  }
  void set_negative(bool negative) { negative_ = negative; }
  void flip_sign() { negative_ = !negative_; }

  const std::vector<Word>& x_words() const { return x_; }
  const std::vector<Word>& z_words() const { return z_; }

  // Whether the two strings commute: an even number of qubits where the factors anticommute.
  bool commutes_with(const PauliString& other) const {
    check_same_size(other);
    unsigned parity = 0;
    for (std::size_t w = 0; w < x_.size(); ++w)
      parity ^= static_cast<unsigned>(std::popcount((x_[w] & other.z_[w]) ^ (z_[w] & other.x_[w])));
    return (parity & 1U) == 0;
  }

  // this <- this * other. When the two anticommute the true product carries a factor +-i, which
  // no Hermitian string holds: i becomes +, -i becomes -. Tableaus multiply anticommuting strings
  // only into destabilizer rows, whose signs mean nothing.
  void multiply_by(const PauliString& other) {
    check_same_size(other);
    unsigned phase = 2U * (static_cast<unsigned>(negative_) + other.negative_);
    for (std::size_t w = 0; w < x_.size(); ++w) {
      phase += word_product_phase(x_[w], z_[w], other.x_[w], other.z_[w]);
      x_[w] ^= other.x_[w];
      z_[w] ^= other.z_[w];
    }
    negative_ = (phase % 4U) >= 2U;
  }

  bool operator==(const PauliString&) const = default;

  // "-XIZY" for failure messages.
  std::string text() const {
    std::string out(1, negative_ ? '-' : '+');
    for (std::size_t q = 0; q < qubits_; ++q) out += "IZXY"[2 * x(q) + z(q)];
    return out;
  }

 private:
  static void assign_bit(Word& word, std::size_t q, bool value) {
    if (value)
      word |= bit_of(q);
    else
      word &= ~bit_of(q);
  }

  void check_same_size(const PauliString& other) const {
    if (other.qubits_ != qubits_) throw std::invalid_argument("Pauli strings of different sizes");
  }

  std::size_t qubits_;
  std::vector<Word> x_;
  std::vector<Word> z_;
  bool negative_ = false;
};

// The rank over GF(2) of the strings as bit vectors (x | z): how many of them are independent
// up to sign.
inline std::size_t independent_count(const std::vector<PauliString>& paulis) {
  std::vector<std::vector<Word>> vectors;
  for (const PauliString& pauli : paulis) {
    std::vector<Word> bits = pauli.x_words();
    bits.insert(bits.end(), pauli.z_words().begin(), pauli.z_words().end());
    vectors.push_back(std::move(bits));
  }
  const std::size_t words = vectors.empty() ? 0 : vectors.front().size();
  std::size_t rank = 0;
  for (std::size_t column = 0; column < words * word_bits && rank < vectors.size(); ++column) {
    const std::size_t w = column / word_bits;
    const Word bit = bit_of(column);
    std::size_t pivot = rank;
    while (pivot < vectors.size() && (vectors[pivot][w] & bit) == 0) ++pivot;
    if (pivot == vectors.size()) continue;
    std::swap(vectors[rank], vectors[pivot]);
    for (std::size_t r = rank + 1; r < vectors.size(); ++r) {
      if ((vectors[r][w] & bit) == 0) continue;
      for (std::size_t k = w; k < words; ++k) vectors[r][k] ^= vectors[rank][k];
    }
    ++rank;
  }
  return rank;
}

// Empty when the rows are in reduced row echelon form over the bit columns X of qubit 0, Z of
// qubit 0, X of qubit 1, ...: every row's first set column lies right of the previous row's, and
// no other row has that column set. A group has exactly one generating set of this form, so two
// tools that produce it agree string for string. Otherwise the first violation.
inline std::string canonical_form_violation(const std::vector<PauliString>& rows) {
  const auto column_bit = [](const PauliString& row, std::size_t column) {
    return column % 2 == 0 ? row.x(column / 2) : row.z(column / 2);
  };
  std::size_t previous_lead = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::size_t columns = 2 * rows[r].qubits();
    std::size_t lead = 0;
    while (lead < columns && !column_bit(rows[r], lead)) ++lead;
    if (lead == columns) return "row " + std::to_string(r) + " is the identity";
    if (r > 0 && lead <= previous_lead)
      return "row " + std::to_string(r) + " does not start right of row " + std::to_string(r - 1);
    for (std::size_t other = 0; other < rows.size(); ++other)
      if (other != r && column_bit(rows[other], lead))
        return "row " + std::to_string(other) + " shares the leading column of row " +
               std::to_string(r);
    previous_lead = lead;
  }
  return {};
}

}  // namespace korvane::testing
