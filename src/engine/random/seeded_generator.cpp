#include "seeded_generator.h"

namespace korvane::circuit {

std::uint64_t splitmix64(std::uint64_t& state) noexcept {
  state += 0x9E3779B97F4A7C15ULL;
  std::uint64_t mixed = state;
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
  return mixed ^ (mixed >> 31);
}

SeededGenerator::SeededGenerator(std::uint64_t seed) noexcept {
  // splitmix64 is a bijection of its counter, so four successive outputs are never all zero.
  for (std::uint64_t& word : state_) word = splitmix64(seed);
}

SeededGenerator SeededGenerator::from_state(const std::array<std::uint64_t, 4>& state) noexcept {
  SeededGenerator generator;
  generator.state_ = state;
  return generator;
}

}  // namespace korvane::circuit
