#include "shot_major_writer.h"

#include <algorithm>
#include <cstring>

namespace korvane::circuit {

using engine::word_bits;

ShotMajorWriter::ShotMajorWriter(std::size_t words, std::uint64_t columns,
                                 std::span<const std::uint8_t> reference)
    : words_(words), columns_(columns), reference_(reference), band_(word_bits * words) {}

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
  engine::BitTile tile{};
  std::array<std::uint64_t, 8> bytes{};
  for (std::size_t w = 0; w < words_ && word_bits * w < shots_; ++w) {
    for (std::size_t r = 0; r < width; ++r) tile[r] = band_[r * words_ + w];
    std::fill(tile.begin() + static_cast<std::ptrdiff_t>(width), tile.end(), Word{0});
    engine::transpose(tile);
    const std::size_t shots_here =
        static_cast<std::size_t>(std::min<std::uint64_t>(word_bits, shots_ - word_bits * w));
    for (std::size_t s = 0; s < shots_here; ++s) {
      for (std::size_t b = 0; b < bytes.size(); ++b) {
        bytes[b] =
            engine::spread_bits(static_cast<std::uint8_t>(tile[s] >> (8 * b))) ^ reference[b];
      }
      std::memcpy(rows_ + (word_bits * w + s) * columns_ + first_column_, bytes.data(), width);
    }
  }
  first_column_ += width;
  rows_in_band_ = 0;
}

}  // namespace korvane::circuit
