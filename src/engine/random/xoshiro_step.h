// The state step of the xoshiro generators: four words mixed by xors, one shift and one rotation.
// The thread's 32-bit generator and the seeded 64-bit one differ only in word width and in the
// two constants, which each names where it is defined.
#pragma once

#include <array>
#include <bit>

namespace korvane::engine {

template <int shift, int rotation, class Word>
constexpr void advance_xoshiro(std::array<Word, 4>& state) noexcept {
  const Word shifted = state[1] << shift;
  state[2] ^= state[0];
  state[3] ^= state[1];
  state[1] ^= state[2];
  state[0] ^= state[3];
  state[2] ^= shifted;
  state[3] = std::rotl(state[3], rotation);
}

}  // namespace korvane::engine
