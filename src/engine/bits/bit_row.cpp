#include "bit_row.h"

namespace korvane::engine {

// On x86-64 each kernel is built three times (AVX-512, AVX2, baseline) and the loader picks the
// best the processor has; the loops are plain so that the compiler vectorises each build.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KORVANE_ROW_KERNEL \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KORVANE_ROW_KERNEL
#endif

KORVANE_ROW_KERNEL
void xor_long_row(Word* row, const Word* mask, std::size_t words) noexcept {
  for (std::size_t w = 0; w < words; ++w) row[w] ^= mask[w];
}

KORVANE_ROW_KERNEL
void xor_long_row(Word* row, const Word* first, const Word* second, std::size_t words) noexcept {
  for (std::size_t w = 0; w < words; ++w) row[w] ^= first[w] ^ second[w];
}

KORVANE_ROW_KERNEL
std::size_t xor_count_long_row(Word* row, const Word* mask, std::size_t words) noexcept {
  std::size_t count = 0;
  for (std::size_t w = 0; w < words; ++w) {
    row[w] ^= mask[w];
    count += static_cast<std::size_t>(std::popcount(row[w]));
  }
  return count;
}

KORVANE_ROW_KERNEL
std::size_t count_long_row(const Word* row, std::size_t words) noexcept {
  std::size_t count = 0;
  for (std::size_t w = 0; w < words; ++w) count += static_cast<std::size_t>(std::popcount(row[w]));
  return count;
}

}  // namespace korvane::engine
