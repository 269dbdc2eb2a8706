#include "stabilizer_tableau.h"

#include <bit>

#include "../bits/word.h"

namespace korvane::engine {
namespace {

// Words of a column of 2n rows: one when all fit, else the destabilizers' words twice.
constexpr std::size_t column_words_for_qubits(std::size_t qubits) {
  return 2 * qubits <= word_bits ? 1 : 2 * words_for(qubits);
}

constexpr std::size_t stabilizer_offset_for(std::size_t qubits) {
  return 2 * qubits <= word_bits ? qubits : word_bits * words_for(qubits);
}

bool bit_at(const Word* words, std::size_t bit) {
  return (words[bit / word_bits] & bit_of(bit)) != 0;
}

void flip_at(Word* words, std::size_t bit) { words[bit / word_bits] ^= bit_of(bit); }

void assign_at(Word* words, std::size_t bit, bool value) {
  Word& word = words[bit / word_bits];
  word = (word & ~bit_of(bit)) | (value ? bit_of(bit) : 0);
}

// Bit b set for every b below `bits`, and none above, within word w.
Word low_bits_in_word(std::size_t bits, std::size_t w) {
  const std::size_t first = w * word_bits;
  if (bits <= first) return 0;
  if (bits - first >= word_bits) return ~Word{0};
  return (Word{1} << (bits - first)) - 1;
}

// Bits 0..v-1 each set to the parity of the set bits of `v` below it.
Word parity_before_each_bit(Word v) {
  Word prefix = v;
  for (int shift = 1; shift < static_cast<int>(word_bits); shift *= 2) prefix ^= prefix << shift;
  return prefix ^ v;
}

unsigned parity(Word w) { return static_cast<unsigned>(count_bits(w) & 1U); }

// Columns lie far apart in a large tableau, so a pass that reads two rows of every column asks
// for the words of a column this many columns ahead while it works on the current one.
constexpr std::size_t prefetch_columns = 16;

}  // namespace

StabilizerTableau::StabilizerTableau(std::size_t qubits, MemoryCharge charge)
    : qubits_(qubits),
      words_(column_words_for_qubits(qubits)),
      stabilizer_offset_(stabilizer_offset_for(qubits)),
      charge_(std::move(charge)),
      data_(2 * qubits * words_),
      signs_(words_),
      anticommuting_(words_),
      phase_low_(words_),
      phase_high_(words_) {
  touched_words_.reserve(words_);
  for (Qubit q = 0; q < qubits; ++q) {
    flip_at(column(q) + words_, q);         // destabilizer q is Z_q
    flip_at(column(q), stabilizer_row(q));  // stabilizer q is X_q
  }
}

std::size_t StabilizerTableau::column_words_for(std::size_t qubits) noexcept {
  return column_words_for_qubits(qubits);
}

std::size_t StabilizerTableau::tableau_bytes(std::size_t qubits) noexcept {
  return (2 * qubits + 4) * column_words_for_qubits(qubits) * sizeof(Word);
}

void StabilizerTableau::toggle_graph_edge(Qubit a, Qubit b) noexcept {
  flip_at(column(b) + words_, stabilizer_row(a));
  flip_at(column(a) + words_, stabilizer_row(b));
}

void StabilizerTableau::set_graph_neighbors(Qubit q, std::span<const Word> row) noexcept {
  Word* const z = column(q) + words_;
  if (words_ == 1) {
    z[0] |= row[0] << stabilizer_offset_;
    return;
  }
  const std::size_t first = stabilizer_offset_ / word_bits;
  for (std::size_t w = 0; w < row.size(); ++w) z[first + w] |= row[w];
}

bool StabilizerTableau::begin_measurement(Qubit q, clifford::Axis axis) noexcept {
  measured_qubit_ = q;
  measured_ = pauli_bits(axis);
  const Word* const x = column(q);
  const Word* const z = x + words_;
  const Word mask_x = mask_if(measured_.x);
  const Word mask_z = mask_if(measured_.z);
  touched_words_.clear();
  random_ = false;
  for (std::size_t w = 0; w < words_; ++w) {
    anticommuting_[w] = (x[w] & mask_z) ^ (z[w] & mask_x);
    if (anticommuting_[w] == 0) continue;
    touched_words_.push_back(static_cast<std::uint32_t>(w));
    const Word stabilizers = anticommuting_[w] & low_bits_in_word(stabilizer_offset_ + qubits_, w) &
                             ~low_bits_in_word(stabilizer_offset_, w);
    if (!random_ && stabilizers != 0) {
      pivot_ = w * word_bits + static_cast<std::size_t>(std::countr_zero(stabilizers));
      random_ = true;
    }
  }
  return random_;
}

TableauOutcome StabilizerTableau::end_measurement(bool outcome_if_random) noexcept {
  if (!random_) {
    return {product_sign(),
            (measurement_word_work * touched_words_.size() + column_visit_work(qubits_)) * qubits_};
  }
  // Every other anticommuting row takes the pivot in, except the pivot's destabilizer, which the
  // pivot then replaces; the measured Pauli, signed by the outcome, replaces the pivot.
  const std::size_t pivot = pivot_;
  const std::size_t partner = pivot - stabilizer_offset_;
  flip_at(anticommuting_.data(), pivot);
  if (bit_at(anticommuting_.data(), partner)) flip_at(anticommuting_.data(), partner);
  const std::size_t work = replace_pivot(pivot, partner);
  assign_at(column(measured_qubit_), pivot, measured_.x);
  assign_at(column(measured_qubit_) + words_, pivot, measured_.z);
  assign_at(signs_.data(), pivot, outcome_if_random);
  return {outcome_if_random, work};
}

void StabilizerTableau::prefetch_rows(const Word* column_x, std::size_t first_row,
                                      std::size_t second_row) const noexcept {
  for (const Word* part : {column_x, column_x + words_}) {
    __builtin_prefetch(part + word_of(first_row), 1);
    __builtin_prefetch(part + word_of(second_row), 1);
  }
}

std::size_t StabilizerTableau::replace_pivot(std::size_t pivot, std::size_t partner) noexcept {
  // The words from the first to the last anticommuting one run as one vectorised range unless
  // the anticommuting words are few and far apart.
  const std::size_t first = touched_words_.front();
  const std::size_t end = touched_words_.back() + 1;
  const bool as_range = end - first <= 4 * touched_words_.size();
  std::fill(phase_low_.begin() + static_cast<std::ptrdiff_t>(first),
            phase_low_.begin() + static_cast<std::ptrdiff_t>(end), Word{0});
  std::fill(phase_high_.begin() + static_cast<std::ptrdiff_t>(first),
            phase_high_.begin() + static_cast<std::ptrdiff_t>(end), Word{0});
  std::size_t factors = 0;
  for (Qubit j = 0; j < qubits_; ++j) {
    Word* const x = column(j);
    Word* const z = x + words_;
    if (j + prefetch_columns < qubits_) prefetch_rows(column(j + prefetch_columns), pivot, partner);
    const bool pivot_x = bit_at(x, pivot);
    const bool pivot_z = bit_at(z, pivot);
    if (pivot_x || pivot_z) {
      ++factors;
      const PivotFactorMasks masks =
          PivotFactorMasks::of(static_cast<clifford::Axis>(pivot_x ? (pivot_z ? 1 : 0) : 2));
      if (as_range) {
        multiply_rows_long(x + first, z + first, phase_low_.data() + first,
                           phase_high_.data() + first, anticommuting_.data() + first, end - first,
                           masks);
      } else {
        for (const std::uint32_t w : touched_words_) {
          multiply_rows_word(x[w], z[w], phase_low_[w], phase_high_[w], anticommuting_[w], masks);
        }
      }
    }
    // The partner becomes what the pivot was, and the pivot is cleared for the measured Pauli.
    assign_at(x, partner, pivot_x);
    assign_at(z, partner, pivot_z);
    assign_at(x, pivot, false);
    assign_at(z, pivot, false);
  }
  // Each product is Hermitian: its phase is 0 or 2, and 2 flips the sign, as does the pivot's.
  const Word pivot_sign = mask_if(bit_at(signs_.data(), pivot));
  for (const std::uint32_t w : touched_words_) {
    signs_[w] ^= anticommuting_[w] & (phase_high_[w] ^ pivot_sign);
  }
  assign_at(signs_.data(), partner, pivot_sign != 0);
  const std::size_t words = as_range ? end - first : touched_words_.size();
  return measurement_word_work * factors * words + column_visit_work(qubits_) * qubits_;
}

bool StabilizerTableau::product_sign() const noexcept {
  // The measured Pauli is the product of the stabilizers whose destabilizers anticommute with
  // it. Per qubit, factors f_1 .. f_m (rows in order) multiply to i^e times a Hermitian factor
  // with e = sum of x_k z_k - X Z + 2 * #{k < l : z_k x_l}, X and Z the parities of the bits.
  const std::size_t first_word = stabilizer_offset_ / word_bits;
  const std::size_t shift = stabilizer_offset_ % word_bits;  // nonzero only for one word
  unsigned exponent = 0;
  for (const std::uint32_t w : touched_words_) {
    if (w >= first_word && shift == 0) continue;
    const Word chosen = (anticommuting_[w] & low_bits_in_word(qubits_, w)) << shift;
    if (chosen == 0) continue;
    exponent += 2 * static_cast<unsigned>(count_bits(signs_[w + first_word] & chosen));
  }
  for (Qubit j = 0; j < qubits_; ++j) {
    const Word* const x = column(j);
    const Word* const z = x + words_;
    unsigned x_parity = 0;
    unsigned z_parity = 0;
    for (const std::uint32_t w : touched_words_) {
      if (w >= first_word && shift == 0) continue;
      const Word chosen = (anticommuting_[w] & low_bits_in_word(qubits_, w)) << shift;
      const Word xs = x[w + first_word] & chosen;
      const Word zs = z[w + first_word] & chosen;
      if ((xs | zs) == 0) continue;
      const Word z_before = parity_before_each_bit(zs) ^ mask_if(z_parity != 0);
      exponent += static_cast<unsigned>(count_bits(xs & zs)) + 2 * parity(xs & z_before);
      x_parity ^= parity(xs);
      z_parity ^= parity(zs);
    }
    exponent += 3 * (x_parity & z_parity);
  }
  return exponent % 4 == 2;
}

}  // namespace korvane::engine
