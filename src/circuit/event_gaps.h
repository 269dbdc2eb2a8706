// Where a rare event happens among many independent trials, found by jumping from one event to
// the next instead of drawing for every trial: the gap before the next event is geometric, and
// one draw finds it. Noise on frames packed across shots uses it: a channel of probability p on
// a block of B shots costs about p B + 1 draws instead of B.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "circuit/seeded_generator.h"

namespace korvane::circuit {

class EventGaps {
 public:
  // Events of probability p (0 < p < 1) among at most `trials` trials at a time.
  EventGaps(double probability, std::uint64_t trials) noexcept
      : levels_(std::min(static_cast<int>(std::bit_width(trials)), max_levels)) {
    // powers_[j] = (1 - p)^(2^j), by repeated squaring: IEEE products, so every machine finds
    // the same gaps from the same draws (a library logarithm might not).
    double power = 1.0 - probability;
    for (int j = 0; j < levels_; ++j) {
      powers_[j] = power;
      power *= power;
    }
  }

  // The gap before the next event, capped at 2^levels - 1 (at least `trials`): the largest g with
  // u < (1 - p)^g for a uniform u in [0, 1), so that P(gap >= g) = (1 - p)^g.
  std::uint64_t gap(SeededGenerator& generator) const noexcept {
    const double uniform = static_cast<double>(generator.next_u64() >> 11) * 0x1p-53;
    std::uint64_t found = 0;
    double reached = 1.0;  // (1 - p)^found
    for (int j = levels_ - 1; j >= 0; --j) {
      const double next = reached * powers_[j];
      if (uniform < next) {
        reached = next;
        found += std::uint64_t{1} << j;
      }
    }
    return found;
  }

  // Calls visit(trial) for each trial in [0, trials) where an event happens, in order.
  template <class Visit>
  void for_each_event(std::uint64_t trials, SeededGenerator& generator, Visit&& visit) const {
    for (std::uint64_t trial = gap(generator); trial < trials; trial += 1 + gap(generator)) {
      visit(trial);
    }
  }

 private:
  static constexpr int max_levels = 63;

  int levels_;
  std::array<double, max_levels> powers_{};
};

}  // namespace korvane::circuit
