// Rows of bits for dense adjacency: bit q of a row is word q / 64, bit q % 64.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/neighbor_set.h"

namespace korvane::engine {

using Word = std::uint64_t;

inline bool test_bit(const Word* row, Qubit q) { return ((row[q >> 6] >> (q & 63)) & 1U) != 0; }

inline void flip_bit(Word* row, Qubit q) { row[q >> 6] ^= Word{1} << (q & 63); }

// Bits set in w. Without the popcnt instruction in the target, std::popcount becomes a library
// call; this inline form is as fast as it gets then.
inline std::size_t count_bits(Word w) {
#if defined(__POPCNT__)
  return static_cast<std::size_t>(std::popcount(w));
#else
  w -= (w >> 1) & 0x5555555555555555ULL;
  w = (w & 0x3333333333333333ULL) + ((w >> 2) & 0x3333333333333333ULL);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<std::size_t>((w * 0x0101010101010101ULL) >> 56);
#endif
}

template <class Visit>
void for_each_bit(const Word* row, std::size_t words, Visit&& visit) {
  for (std::size_t w = 0; w < words; ++w) {
    for (Word bits = row[w]; bits != 0; bits &= bits - 1) {
      visit(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    }
  }
}

// Long rows go to kernels compiled for several instruction sets and chosen when the program
// loads; short rows stay inline, where a call would cost more than the work.
inline constexpr std::size_t short_row_words = 4;

void xor_long_row(Word* row, const Word* mask, std::size_t words) noexcept;
void xor_long_row(Word* row, const Word* first, const Word* second, std::size_t words) noexcept;
std::size_t count_long_row(const Word* row, std::size_t words) noexcept;

// row ^= mask.
inline void xor_row(Word* row, const Word* mask, std::size_t words) {
  if (words > short_row_words) {
    xor_long_row(row, mask, words);
    return;
  }
  for (std::size_t w = 0; w < words; ++w) row[w] ^= mask[w];
}

// row ^= first ^ second.
inline void xor_row(Word* row, const Word* first, const Word* second, std::size_t words) {
  if (words > short_row_words) {
    xor_long_row(row, first, second, words);
    return;
  }
  for (std::size_t w = 0; w < words; ++w) row[w] ^= first[w] ^ second[w];
}

// The bits set in a row.
inline std::size_t count_row(const Word* row, std::size_t words) {
  if (words > short_row_words) return count_long_row(row, words);
  std::size_t count = 0;
  for (std::size_t w = 0; w < words; ++w) count += count_bits(row[w]);
  return count;
}

// Whether the row has a bit set other than bit q.
inline bool has_bit_other_than(const Word* row, std::size_t words, Qubit q) {
  const std::size_t home = q >> 6;
  for (std::size_t w = 0; w < words; ++w) {
    const Word bits = w == home ? row[w] & ~(Word{1} << (q & 63)) : row[w];
    if (bits != 0) return true;
  }
  return false;
}

}  // namespace korvane::engine
