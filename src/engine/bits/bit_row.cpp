#include "bit_row.h"

#include "word_kernels.h"

namespace korvane::engine {

KORVANE_WORD_KERNEL
void xor_long_row(Word* row, const Word* mask, std::size_t words) noexcept {
  for (std::size_t w = 0; w < words; ++w) row[w] ^= mask[w];
}

KORVANE_WORD_KERNEL
void xor_long_row(Word* row, const Word* first, const Word* second, std::size_t words) noexcept {
  for (std::size_t w = 0; w < words; ++w) row[w] ^= first[w] ^ second[w];
}

KORVANE_WORD_KERNEL
std::size_t xor_count_long_row(Word* row, const Word* mask, std::size_t words) noexcept {
  std::size_t count = 0;
  for (std::size_t w = 0; w < words; ++w) {
    row[w] ^= mask[w];
    count += static_cast<std::size_t>(std::popcount(row[w]));
  }
  return count;
}

KORVANE_WORD_KERNEL
std::size_t count_long_row(const Word* row, std::size_t words) noexcept {
  std::size_t count = 0;
  for (std::size_t w = 0; w < words; ++w) count += static_cast<std::size_t>(std::popcount(row[w]));
  return count;
}

}  // namespace korvane::engine
