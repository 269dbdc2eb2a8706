// A fast seeded random source for the benchmarks, so that drawing words costs the same in every
// run and a run can be repeated exactly.
#pragma once

#include <cstdint>

#include "korvane/engine/random/random_source.h"

namespace korvane::bench {

class SplitMix final : public engine::RandomSource {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next_word() override {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }

 private:
  std::uint64_t state_;
};

}  // namespace korvane::bench
