// The transpose of a 64 x 64 bit matrix held as 64 words: afterwards bit c of word r is what bit
// r of word c was. Six rounds, each swapping the off-diagonal halves of blocks half the size.
#pragma once

#include <cstddef>

#include "../base.h"

namespace korvane::engine {

inline void transpose_bits(Word* block) {
  Word mask = 0x00000000FFFFFFFFULL;
  for (std::size_t width = 32; width != 0; width /= 2, mask ^= mask << width) {
    for (std::size_t k = 0; k < word_bits; k = (k + width + 1) & ~width) {
      const Word swapped = ((block[k] >> width) ^ block[k + width]) & mask;
      block[k] ^= swapped << width;
      block[k + width] ^= swapped;
    }
  }
}

}  // namespace korvane::engine
