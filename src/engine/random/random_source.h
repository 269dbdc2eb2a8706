// Randomness for measurements. The engine draws 32-bit words through RandomSource, so tests can
// inject a seeded or scripted source; Python calls use the calling thread's own generator.
#pragma once

#include <cstdint>
#include <limits>

#include "../../clifford/local_clifford.h"

namespace korvane::engine {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // One uniformly distributed 32-bit word.
  virtual std::uint32_t next_word() = 0;
};

// A uniformly random bit: the top bit of one word.
inline bool random_bit(RandomSource& source) {
  return (source.next_word() >> (std::numeric_limits<std::uint32_t>::digits - 1)) != 0;
}

// The calling thread's generator, seeded from the operating system on its first use in the
// thread. Throws Fault when no seed can be obtained.
RandomSource& thread_generator();

// Uniform choice among X, Y, Z from one word (a second one in rare cases): the upper half of
// 3 * w, corrected by a second word when the lower half is too close to the top.
clifford::Axis uniform_axis(RandomSource& source);

}  // namespace korvane::engine
