// Square tiles of 64 x 64 bits, one word a row, and the turn that makes their columns rows: bits
// packed one way (a row per measurement, a bit per shot) come out the other (a row per shot).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "word.h"

namespace korvane::engine {

using BitTile = std::array<Word, word_bits>;

// Bit c of row r goes to bit r of row c.
void transpose(BitTile& tile) noexcept;

// Byte i of an entry, as laid out in memory, is bit i of its index: eight bits become eight
// bytes of 0 or 1 in one look-up.
static_assert(std::endian::native == std::endian::little);
inline constexpr std::size_t byte_values = 256;
inline constexpr std::array<std::uint64_t, byte_values> spread_table = [] {
  constexpr std::size_t byte_bits = 8;
  std::array<std::uint64_t, byte_values> table{};
  for (std::size_t value = 0; value != byte_values; ++value) {
    for (std::size_t bit = 0; bit != byte_bits; ++bit) {
      table[value] |= static_cast<std::uint64_t>((value >> bit) & 1U) << (byte_bits * bit);
    }
  }
  return table;
}();

// Eight bytes, each 0 or 1, holding the bits of `byte`, lowest first in memory.
constexpr std::uint64_t spread_bits(std::uint8_t byte) noexcept { return spread_table[byte]; }

// The reverse: eight bytes, each 0 or 1, lowest first in memory, as the bits of one byte (the
// product moves byte i's bit to bit 56 + i, where no carry reaches).
constexpr std::uint8_t gather_bits(std::uint64_t bytes) noexcept {
  return static_cast<std::uint8_t>((bytes * 0x0102040810204080ULL) >> 56U);
}

}  // namespace korvane::engine
