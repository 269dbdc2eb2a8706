#include "column_kernels.h"

namespace korvane::engine {

// On x86-64 each kernel is built three times (AVX-512, AVX2, baseline) and the loader picks the
// best the processor has; the loops are plain so that the compiler vectorises each build.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KORVANE_COLUMN_KERNEL \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KORVANE_COLUMN_KERNEL
#endif

KORVANE_COLUMN_KERNEL
void controlled_pauli_long(Word* a, Word* b, Word* signs, std::size_t words, const PauliMasks& p,
                           const PauliMasks& q) noexcept {
  const PauliMasks pm = p;
  const PauliMasks qm = q;
  Word* __restrict const xa = a;
  Word* __restrict const za = a + words;
  Word* __restrict const xb = b;
  Word* __restrict const zb = b + words;
  Word* __restrict const s = signs;
  for (std::size_t w = 0; w < words; ++w) {
    controlled_pauli_word(xa[w], za[w], xb[w], zb[w], s[w], pm, qm);
  }
}

KORVANE_COLUMN_KERNEL
void multiply_rows_long(Word* x, Word* z, Word* low, Word* high, const Word* rows,
                        std::size_t words, const PivotFactorMasks& pivot) noexcept {
  const PivotFactorMasks masks = pivot;
  Word* __restrict const xs = x;
  Word* __restrict const zs = z;
  Word* __restrict const lows = low;
  Word* __restrict const highs = high;
  const Word* __restrict const chosen = rows;
  for (std::size_t w = 0; w < words; ++w) {
    multiply_rows_word(xs[w], zs[w], lows[w], highs[w], chosen[w], masks);
  }
}

}  // namespace korvane::engine
