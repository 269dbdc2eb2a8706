// Frames yield one row of bits per measurement (or detector), bit s for shot s; sampling returns
// one row per shot, a byte per bit or packed. This writer gathers rows 64 at a time and turns each
// 64 x 64 tile of bits around at once, so that every shot's bits are written in runs of 64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "../../engine/bits/bit_tile.h"
#include "../run/pauli_frames.h"
#include "row_layout.h"

namespace korvane::circuit {

class ShotMajorWriter {
 public:
  // Rows of `words` words; each shot has `columns` bits, laid out as `layout` says. Bit c of every
  // shot is its frame bit XOR reference[c] (no XOR when `reference` is empty).
  ShotMajorWriter(std::size_t words, std::uint64_t columns, std::span<const std::uint8_t> reference,
                  RowLayout layout = RowLayout::bytes);

  // The block's shots go to the first `shots` rows at `rows` (row s at rows + s * row_bytes(
  // layout, columns)); the block's later frames are dropped.
  void start_block(std::uint8_t* rows, std::uint64_t shots) noexcept;
  // The next column's row of bits, for the caller to fill whole.
  std::span<Word> next_row() noexcept {
    if (rows_in_band_ == engine::word_bits) flush();
    return {&band_[rows_in_band_++ * words_], words_};
  }
  // Writes what is left of the block.
  void finish_block() noexcept { flush(); }

 private:
  void flush() noexcept;

  std::size_t words_;
  std::uint64_t columns_;
  RowLayout layout_;
  std::uint64_t stride_;  // bytes a row
  std::span<const std::uint8_t> reference_;
  std::vector<Word> band_;  // a row for each bit of a word
  std::size_t rows_in_band_ = 0;
  std::uint64_t first_column_ = 0;
  std::uint8_t* rows_ = nullptr;
  std::uint64_t shots_ = 0;
};

}  // namespace korvane::circuit
