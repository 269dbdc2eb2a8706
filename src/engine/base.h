// The engine's vocabulary: qubit indices, the words that rows of bits are made of, and the one
// failure type, an orderly stop of an operation with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace korvane::engine {

// A qubit index: 0 .. N-1 for a register of N qubits.
using Qubit = std::size_t;

// The unit of a row of bits: bit q of a row is bit q % 64 of word q / 64.
using Word = std::uint64_t;
inline constexpr std::size_t word_bits = 64;

// Words that hold `bits` bits.
constexpr std::size_t words_for(std::size_t bits) { return (bits + word_bits - 1) / word_bits; }

class Fault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "index out of bounds: the len is {len} but the index is {index}"
[[noreturn]] void throw_index_fault(std::size_t len, std::size_t index);

}  // namespace korvane::engine
