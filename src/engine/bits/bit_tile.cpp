#include "bit_tile.h"

namespace korvane::engine {

void transpose(BitTile& tile) noexcept {
  // Swaps the off-diagonal blocks of each 2j x 2j block, for j = 32, 16, ..., 1.
  Word mask = 0x00000000FFFFFFFFULL;
  for (std::size_t j = word_bits / 2; j != 0; j >>= 1U, mask ^= mask << j) {
    for (std::size_t k = 0; k < word_bits; k = (k + j + 1) & ~j) {
      const Word swapped = ((tile[k] >> j) ^ tile[k + j]) & mask;
      tile[k] ^= swapped << j;
      tile[k + j] ^= swapped;
    }
  }
}

}  // namespace korvane::engine
