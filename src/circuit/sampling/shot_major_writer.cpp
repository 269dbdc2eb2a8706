#include "shot_major_writer.h"

#include <algorithm>
#include <cstring>

namespace korvane::circuit {

using engine::word_bits;

ShotMajorWriter::ShotMajorWriter(std::size_t words, std::uint64_t columns,
                                 std::span<const std::uint8_t> reference, RowLayout layout)
    : words_(words),
      columns_(columns),
      layout_(layout),
      stride_(row_bytes(layout, columns)),
      reference_(reference),
      band_(word_bits * words) {}

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
  // Packed, the band's reference is one word, and each shot's bits are its tile row's bytes.
  Word packed_reference = 0;
  for (std::size_t b = 0; b < reference.size(); ++b) {
    packed_reference |= Word{engine::gather_bits(reference[b])} << (8 * b);
  }
  const std::size_t packed_width = (width + 7) / 8;
  engine::BitTile tile{};
  std::array<std::uint64_t, 8> bytes{};
  for (std::size_t w = 0; w < words_ && word_bits * w < shots_; ++w) {
    for (std::size_t r = 0; r < width; ++r) tile[r] = band_[r * words_ + w];
    std::fill(tile.begin() + static_cast<std::ptrdiff_t>(width), tile.end(), Word{0});
    engine::transpose(tile);
    const std::size_t shots_here =
        static_cast<std::size_t>(std::min<std::uint64_t>(word_bits, shots_ - word_bits * w));
    for (std::size_t s = 0; s < shots_here && layout_ == RowLayout::packed; ++s) {
      const Word bits = tile[s] ^ packed_reference;
      std::uint8_t* row = rows_ + (word_bits * w + s) * stride_ + first_column_ / 8;
      for (std::size_t b = 0; b < packed_width; ++b)
        row[b] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
    for (std::size_t s = 0; s < shots_here && layout_ == RowLayout::bytes; ++s) {
      for (std::size_t b = 0; b < bytes.size(); ++b) {
        bytes[b] =
            engine::spread_bits(static_cast<std::uint8_t>(tile[s] >> (8 * b))) ^ reference[b];
      }
      std::memcpy(rows_ + (word_bits * w + s) * stride_ + first_column_, bytes.data(), width);
    }
  }
  first_column_ += width;
  rows_in_band_ = 0;
}

}  // namespace korvane::circuit
