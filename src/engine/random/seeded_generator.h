// The generator behind seeded sampling: xoshiro256** (Blackman and Vigna), its 256-bit state
// filled by four successive outputs of splitmix64 started at the 64-bit seed. It is fully
// specified by the seed, so a seeded run draws the same numbers on every machine.
//
// The engine draws 32-bit words: each word is the upper half of one 64-bit output. Noise draws
// take whole 64-bit outputs.
#pragma once

#include <array>
#include <cstdint>

#include "random_source.h"

namespace korvane::circuit {

class SeededGenerator final : public engine::RandomSource {
 public:
  explicit SeededGenerator(std::uint64_t seed) noexcept;

  // A generator started at this exact state (which must not be all zero).
  static SeededGenerator from_state(const std::array<std::uint64_t, 4>& state) noexcept;

  std::uint64_t next_u64() noexcept {
    const std::uint64_t result = rotate_left(state_[1] * 5, 7) * 9;
    const std::uint64_t shifted = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= shifted;
    state_[3] = rotate_left(state_[3], 45);
    return result;
  }

  std::uint32_t next_word() override { return static_cast<std::uint32_t>(next_u64() >> 32); }

 private:
  SeededGenerator() = default;

  static constexpr std::uint64_t rotate_left(std::uint64_t value, int shift) {
    return (value << shift) | (value >> (64 - shift));
  }

  std::array<std::uint64_t, 4> state_{};
};

// splitmix64: advances `state` by the golden-ratio increment and returns the mixed value.
std::uint64_t splitmix64(std::uint64_t& state) noexcept;

// One uniform 64-bit draw: a whole output of the seeded generator, or two 32-bit words (upper
// half first) of any other source, such as the calling thread's generator.
inline std::uint64_t draw_u64(SeededGenerator& generator) noexcept { return generator.next_u64(); }
inline std::uint64_t draw_u64(engine::RandomSource& source) {
  const std::uint64_t upper = source.next_word();
  return (upper << 32) | source.next_word();
}

}  // namespace korvane::circuit
