// The generator behind seeded sampling: xoshiro256** (Blackman and Vigna), its 256-bit state
// filled by four successive outputs of splitmix64 started at the 64-bit seed. It is fully
// specified by the seed, so a seeded run draws the same numbers on every machine.
//
// The engine draws 32-bit numbers: each is the upper half of one 64-bit output. Noise draws take
// whole 64-bit outputs.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "random_source.h"
#include "xoshiro_step.h"

namespace korvane::engine {

// splitmix64: advances `state` by the golden-ratio increment and returns the mixed value.
constexpr std::uint64_t splitmix64(std::uint64_t& state) noexcept {
  constexpr std::uint64_t increment = 0x9E3779B97F4A7C15ULL;
  constexpr std::uint64_t first_multiplier = 0xBF58476D1CE4E5B9ULL;
  constexpr std::uint64_t second_multiplier = 0x94D049BB133111EBULL;
  constexpr int first_shift = 30;
  constexpr int second_shift = 27;
  constexpr int last_shift = 31;
  state += increment;
  std::uint64_t mixed = state;
  mixed = (mixed ^ (mixed >> first_shift)) * first_multiplier;
  mixed = (mixed ^ (mixed >> second_shift)) * second_multiplier;
  return mixed ^ (mixed >> last_shift);
}

class SeededGenerator final : public RandomSource {
 public:
  explicit SeededGenerator(std::uint64_t seed) noexcept;

  // A generator started at this exact state (which must not be all zero).
  static SeededGenerator from_state(const std::array<std::uint64_t, 4>& state) noexcept;

  std::uint64_t next_u64() noexcept {
    const std::uint64_t result =
        std::rotl(state_[1] * output_multiplier, output_rotation) * output_scale;
    advance_xoshiro<state_shift, state_rotation>(state_);
    return result;
  }

  std::uint32_t next_u32() override { return static_cast<std::uint32_t>(next_u64() >> 32); }

 private:
  // xoshiro256**: the scrambler's multiplier, rotation and scale, the state's shift and rotation.
  static constexpr std::uint64_t output_multiplier = 5;
  static constexpr int output_rotation = 7;
  static constexpr std::uint64_t output_scale = 9;
  static constexpr int state_shift = 17;
  static constexpr int state_rotation = 45;

  SeededGenerator() = default;

  std::array<std::uint64_t, 4> state_{};
};

// One uniform 64-bit draw: a whole output of the seeded generator (two 32-bit draws of any other
// source, random_source.h).
inline std::uint64_t draw_u64(SeededGenerator& generator) noexcept { return generator.next_u64(); }

}  // namespace korvane::engine
