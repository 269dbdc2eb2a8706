#include "stabilizers.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../bits/word.h"

namespace korvane::engine {
namespace {

// Exponent k (mod 4) of i in a * b = i^k c, over one word of 64 factors, c having the bits
// a ^ b: XY = iZ, YZ = iX and ZX = iY count +1, the reversed products -1.
unsigned word_product_phase(Word ax, Word az, Word bx, Word bz) {
  const Word a_x = ax & ~az;
  const Word a_y = ax & az;
  const Word a_z = ~ax & az;
  const Word b_x = bx & ~bz;
  const Word b_y = bx & bz;
  const Word b_z = ~bx & bz;
  const auto plus = static_cast<unsigned>(std::popcount((a_x & b_y) | (a_y & b_z) | (a_z & b_x)));
  const auto minus = static_cast<unsigned>(std::popcount((a_y & b_x) | (a_z & b_y) | (a_x & b_z)));
  return plus + 3 * minus;
}

// N signed Pauli strings on N qubits, each row its X words followed by its Z words.
class PauliRows {
 public:
  explicit PauliRows(std::size_t qubits)
      : qubits_(qubits), words_(words_for(qubits)), bits_(qubits * 2 * words_), negative_(qubits) {}

  bool x_bit(std::size_t r, Qubit q) const { return (x(r)[word_of(q)] & bit_of(q)) != 0; }
  bool z_bit(std::size_t r, Qubit q) const { return (z(r)[word_of(q)] & bit_of(q)) != 0; }

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

  std::string text(std::size_t r) const {
    std::string out(qubits_ + 1, '_');
    out[0] = negative_[r] != 0 ? '-' : '+';
    for (Qubit q = 0; q < qubits_; ++q) {
      out[q + 1] = "_XZY"[static_cast<unsigned>(x_bit(r, q)) | 2U * z_bit(r, q)];
    }
    return out;
  }

 private:
  Word* x(std::size_t r) { return bits_.data() + r * 2 * words_; }
  Word* z(std::size_t r) { return x(r) + words_; }
  const Word* x(std::size_t r) const { return bits_.data() + r * 2 * words_; }
  const Word* z(std::size_t r) const { return x(r) + words_; }

  std::size_t qubits_;
  std::size_t words_;
  std::vector<Word> bits_;
  std::vector<std::uint8_t> negative_;  // 1 for a minus sign
};

// Row v: the graph state's generator X_v Z_N(v), with each factor carried through its qubit's
// VOP, since the register's state is the graph state with the VOPs applied.
PauliRows graph_generators(const Register& reg) {
  PauliRows rows(reg.size());
  for (Qubit v = 0; v < reg.size(); ++v) {
    const auto put = [&](Qubit q, clifford::Axis pauli) {
      const Vop vop = reg.vop(q);
      rows.set_factor(v, q, clifford::image_axis(pauli, vop), clifford::image_sign(vop, pauli));
    };
    put(v, clifford::Axis::X);
    reg.for_each_neighbor(v, [&](Qubit w) { put(w, clifford::Axis::Z); });
  }
  return rows;
}

// Brings the rows to the canonical form, one bit column at a time: X of qubit 0, Z of qubit 0,
// X of qubit 1, and so on.
template <class HasBit>
void reduce_column(PauliRows& rows, std::size_t qubits, std::size_t& next, HasBit has_bit) {
  std::size_t pivot = next;
  while (pivot < qubits && !has_bit(pivot)) ++pivot;
  if (pivot == qubits) return;
  for (std::size_t r = 0; r < qubits; ++r) {
    if (r != pivot && has_bit(r)) rows.multiply(r, pivot);
  }
  rows.swap_rows(pivot, next);
  ++next;
}

}  // namespace

std::vector<std::string> canonical_stabilizers(const Register& reg, StopCheck* stop) {
  const std::size_t qubits = reg.size();
  if (qubits > largest_stabilizer_register) {
    throw InvalidInput("stabilizers() answers for at most " +
                       std::to_string(largest_stabilizer_register) +
                       " qubits (the answer grows with the square of the size); this register "
                       "has " +
                       std::to_string(qubits));
  }
  PauliRows rows = graph_generators(reg);
  StopPacer pacer(stop);
  std::size_t next = 0;
  for (Qubit q = 0; q < qubits; ++q) {
    // Each column reads every row and may add the pivot row into each.
    pacer.count(qubits);
    reduce_column(rows, qubits, next, [&](std::size_t r) { return rows.x_bit(r, q); });
    reduce_column(rows, qubits, next, [&](std::size_t r) { return rows.z_bit(r, q); });
  }
  std::vector<std::string> texts;
  texts.reserve(qubits);
  for (std::size_t r = 0; r < qubits; ++r) texts.push_back(rows.text(r));
  return texts;
}

}  // namespace korvane::engine
