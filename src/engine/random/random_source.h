// Where measurements get their randomness: the engine draws uniform 32-bit numbers through
// RandomSource, so that a run can use the calling thread's generator (thread_generator.h), the
// seeded generator of reproducible samples (seeded_generator.h) or, in tests, a scripted source.
#pragma once

#include <cstdint>
#include <limits>

#include "../../clifford/local_clifford.h"

namespace korvane::engine {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // One uniformly distributed 32-bit number.
  virtual std::uint32_t next_u32() = 0;
};

// A uniformly random bit: the top bit of one draw.
inline bool random_bit(RandomSource& source) {
  return (source.next_u32() >> (std::numeric_limits<std::uint32_t>::digits - 1)) != 0;
}

// One uniform 64-bit number from two 32-bit draws, the upper half first.
inline std::uint64_t draw_u64(RandomSource& source) {
  const std::uint64_t upper = source.next_u32();
  return (upper << std::numeric_limits<std::uint32_t>::digits) | source.next_u32();
}

// Uniform choice among X, Y, Z from one draw (a second one in rare cases): the upper half of
// 3 * u, corrected by a second draw when the lower half is too close to the top.
clifford::Axis uniform_axis(RandomSource& source);

}  // namespace korvane::engine
