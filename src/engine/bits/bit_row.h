// Rows of bits over borrowed words, one bit per qubit of a register: the rows of the dense
// adjacency matrix, the largest form of a neighbour set, the rows a trial measurement copies and
// the qubits a search has found. Bit i of a row is bit i % 64 of word i / 64 (word.h).
#pragma once

#include <bit>
#include <cstddef>
#include <span>

#include "word.h"

namespace korvane::engine {

using BitRow = std::span<Word>;
using ConstBitRow = std::span<const Word>;

inline bool test_bit(ConstBitRow row, std::size_t i) { return (row[word_of(i)] & bit_of(i)) != 0; }
inline void set_bit(BitRow row, std::size_t i) { row[word_of(i)] |= bit_of(i); }
inline void clear_bit(BitRow row, std::size_t i) { row[word_of(i)] &= ~bit_of(i); }
inline void flip_bit(BitRow row, std::size_t i) { row[word_of(i)] ^= bit_of(i); }

// Visits the set bits in increasing order while `visit` returns true.
template <class Visit>
void for_each_bit_while(ConstBitRow row, Visit&& visit) {
  for (std::size_t w = 0; w < row.size(); ++w) {
    for (Word bits = row[w]; bits != 0; bits &= bits - 1) {
      if (!visit(w * word_bits + static_cast<std::size_t>(std::countr_zero(bits)))) return;
    }
  }
}

// Visits the set bits in increasing order.
template <class Visit>
void for_each_bit(ConstBitRow row, Visit&& visit) {
  for_each_bit_while(row, [&visit](std::size_t i) {
    visit(i);
    return true;
  });
}

// Whether any bit is set.
inline bool any_bit(ConstBitRow row) {
  for (const Word w : row)
    if (w != 0) return true;
  return false;
}

// Whether a bit other than bit i is set.
inline bool has_bit_other_than(ConstBitRow row, std::size_t i) {
  const std::size_t home = word_of(i);
  for (std::size_t w = 0; w < row.size(); ++w) {
    const Word bits = w == home ? row[w] & ~bit_of(i) : row[w];
    if (bits != 0) return true;
  }
  return false;
}

// The words of `row` from its first to its last nonzero word (empty when none is): rows of graphs
// with short edges (a chain's neighbours lie near it) change only there, so XORs skip the rest.
inline ConstBitRow nonzero_words(ConstBitRow row) {
  std::size_t first = 0;
  while (first < row.size() && row[first] == 0) ++first;
  std::size_t end = row.size();
  while (end > first && row[end - 1] == 0) --end;
  return row.subspan(first, end - first);
}

// Long rows go to kernels compiled for several instruction sets and chosen when the program
// loads; short rows stay inline, where a call would cost more than the work.
inline constexpr std::size_t short_row_words = 4;

void xor_long_row(Word* row, const Word* mask, std::size_t words) noexcept;
void xor_long_row(Word* row, const Word* first, const Word* second, std::size_t words) noexcept;
std::size_t count_long_row(const Word* row, std::size_t words) noexcept;

// row ^= mask, both of the same length.
inline void xor_row(BitRow row, ConstBitRow mask) {
  if (row.size() > short_row_words) {
    xor_long_row(row.data(), mask.data(), row.size());
    return;
  }
  for (std::size_t w = 0; w < row.size(); ++w) row[w] ^= mask[w];
}

// row ^= first ^ second, all of the same length.
inline void xor_row(BitRow row, ConstBitRow first, ConstBitRow second) {
  if (row.size() > short_row_words) {
    xor_long_row(row.data(), first.data(), second.data(), row.size());
    return;
  }
  for (std::size_t w = 0; w < row.size(); ++w) row[w] ^= first[w] ^ second[w];
}

std::size_t xor_count_long_row(Word* row, const Word* mask, std::size_t words) noexcept;

// row ^= mask, both of the same length; returns the number of bits then set in row.
inline std::size_t xor_row_counting(BitRow row, ConstBitRow mask) {
  if (row.size() > short_row_words) return xor_count_long_row(row.data(), mask.data(), row.size());
  std::size_t count = 0;
  for (std::size_t w = 0; w < row.size(); ++w) count += count_bits(row[w] ^= mask[w]);
  return count;
}

// The number of bits set.
inline std::size_t count_row(ConstBitRow row) {
  if (row.size() > short_row_words) return count_long_row(row.data(), row.size());
  std::size_t count = 0;
  for (const Word w : row) count += count_bits(w);
  return count;
}

}  // namespace korvane::engine
