// Words: the unit that rows of bits are made of, wherever the engine or the circuit layer packs
// bits (adjacency rows, neighbour sets, Pauli frames across shots, stabilizer rows). Bit i of a
// row is bit i % 64 of word i / 64.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace korvane::engine {

using Word = std::uint64_t;
inline constexpr std::size_t word_bits = 64;

// Words that hold `bits` bits.
constexpr std::size_t words_for(std::size_t bits) { return (bits + word_bits - 1) / word_bits; }

// The word that holds bit i of a row, and bit i's place in it.
constexpr std::size_t word_of(std::size_t i) { return i / word_bits; }
constexpr Word bit_of(std::size_t i) { return Word{1} << (i % word_bits); }

// All ones when the condition holds: selects words in branch-free updates. Written as a negation,
// which compilers keep free of branches where a choice between ~0 and 0 may become one.
constexpr Word mask_if(bool condition) { return Word{0} - static_cast<Word>(condition); }

// Bits set in w. Without the popcnt instruction in the target, std::popcount becomes a library
// call; this inline form is as fast as it gets then.
inline std::size_t count_bits(Word w) {
#if defined(__POPCNT__)
  return static_cast<std::size_t>(std::popcount(w));
#else
  w -= (w >> 1) & 0x5555555555555555ULL;
  w = (w & 0x3333333333333333ULL) + ((w >> 2) & 0x3333333333333333ULL);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<std::size_t>((w * 0x0101010101010101ULL) >> 56);
#endif
}

}  // namespace korvane::engine
