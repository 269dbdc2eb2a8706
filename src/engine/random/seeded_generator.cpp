#include "seeded_generator.h"

namespace korvane::engine {

SeededGenerator::SeededGenerator(std::uint64_t seed) noexcept {
  // splitmix64 is a bijection of its counter, so four successive outputs are never all zero.
  for (std::uint64_t& word : state_) word = splitmix64(seed);
}

SeededGenerator SeededGenerator::from_state(const std::array<std::uint64_t, 4>& state) noexcept {
  SeededGenerator generator;
  generator.state_ = state;
  return generator;
}

}  // namespace korvane::engine
