#include "column_kernels.h"

#include "../bits/word_kernels.h"

namespace korvane::engine {

KORVANE_WORD_KERNEL
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

KORVANE_WORD_KERNEL
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
