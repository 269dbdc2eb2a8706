#include "shot_major_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace korvane::circuit {
namespace {

// Byte i of an entry, as laid out in memory, is bit i of its index: eight bits become eight
// bytes of 0 or 1 in one look-up.
static_assert(std::endian::native == std::endian::little);
constexpr std::array<std::uint64_t, 256> spread_bits = [] {
  std::array<std::uint64_t, 256> table{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    for (std::size_t bit = 0; bit < 8; ++bit) {
      table[byte] |= static_cast<std::uint64_t>((byte >> bit) & 1U) << (8 * bit);
    }
  }
  return table;
}();

}  // namespace

void transpose_bits(std::array<FrameWord, 64>& tile) noexcept {
  // Swaps the off-diagonal blocks of each 2j x 2j block, for j = 32, 16, ..., 1.
  FrameWord mask = 0x00000000FFFFFFFFULL;
  for (std::size_t j = 32; j != 0; j >>= 1U, mask ^= mask << j) {
    for (std::size_t k = 0; k < 64; k = (k + j + 1) & ~j) {
      const FrameWord swapped = ((tile[k] >> j) ^ tile[k + j]) & mask;
      tile[k] ^= swapped << j;
      tile[k + j] ^= swapped;
    }
  }
}

ShotMajorWriter::ShotMajorWriter(std::size_t words, std::uint64_t columns,
                                 std::span<const std::uint8_t> reference)
    : words_(words), columns_(columns), reference_(reference), band_(64 * words) {}

void ShotMajorWriter::start_block(std::uint8_t* rows, std::uint64_t shots) noexcept {
  rows_ = rows;
  shots_ = shots;
  rows_in_band_ = 0;
  first_column_ = 0;
}

void ShotMajorWriter::flush() noexcept {
  if (rows_in_band_ == 0) return;
  const std::size_t width = rows_in_band_;
  std::array<std::uint64_t, 8> reference{};  // the band's reference bytes, eight a word
  if (!reference_.empty()) std::memcpy(reference.data(), &reference_[first_column_], width);
  std::array<FrameWord, 64> tile{};
  std::array<std::uint64_t, 8> bytes{};
  for (std::size_t w = 0; w < words_ && 64 * w < shots_; ++w) {
    for (std::size_t r = 0; r < width; ++r) tile[r] = band_[r * words_ + w];
    std::fill(tile.begin() + static_cast<std::ptrdiff_t>(width), tile.end(), FrameWord{0});
    transpose_bits(tile);
    const std::size_t shots_here =
        static_cast<std::size_t>(std::min<std::uint64_t>(64, shots_ - 64 * w));
    for (std::size_t s = 0; s < shots_here; ++s) {
      for (std::size_t b = 0; b < 8; ++b) {
        bytes[b] = spread_bits[(tile[s] >> (8 * b)) & 0xFFU] ^ reference[b];
      }
      std::memcpy(rows_ + (64 * w + s) * columns_ + first_column_, bytes.data(), width);
    }
  }
  first_column_ += width;
  rows_in_band_ = 0;
}

}  // namespace korvane::circuit
