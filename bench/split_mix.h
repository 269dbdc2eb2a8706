// A fast seeded random source for the benchmarks, so that drawing costs the same in every run and
// a run can be repeated exactly: the upper halves of splitmix64's outputs.
#pragma once

#include <cstdint>

#include "korvane/engine/random/random_source.h"
#include "korvane/engine/random/seeded_generator.h"

namespace korvane::bench {

class SplitMix final : public engine::RandomSource {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next_u32() override {
    return static_cast<std::uint32_t>(engine::splitmix64(state_) >> 32);
  }

 private:
  std::uint64_t state_;
};

}  // namespace korvane::bench
