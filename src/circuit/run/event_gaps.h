// Where a rare event happens among many independent trials, found by jumping from one event to
// the next instead of drawing for every trial: the gap before the next event is geometric, and
// one draw finds it. Noise on frames packed across shots uses it: a channel of probability p on
// a block of B shots costs about p B + 1 draws instead of B.
#pragma once

#include <bit>
#include <cstdint>

#include "../../engine/random/seeded_generator.h"

namespace korvane::circuit {

// The natural logarithm of a normal x > 0 from IEEE arithmetic alone (+, -, *, /, each exactly
// rounded everywhere), so that every machine gets the same bits, unlike a library's, which may
// take another path on another processor. Relative error below 1e-11.
inline double portable_log(double x) noexcept {
  // x = m 2^e with m in [1, 2), read from the bits of a normal x.
  const auto bits = std::bit_cast<std::uint64_t>(x);
  constexpr std::uint64_t mantissa_bits = (std::uint64_t{1} << 52U) - 1;
  constexpr std::uint64_t exponent_of_one = 1023;
  int exponent = static_cast<int>((bits >> 52U) & 0x7FFU) - static_cast<int>(exponent_of_one);
  auto mantissa = std::bit_cast<double>((bits & mantissa_bits) | (exponent_of_one << 52U));
  if (mantissa >= 1.4142135623730950488) {  // into [sqrt(1/2), sqrt(2))
    mantissa /= 2;
    ++exponent;
  }
  // log m = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.172: a short odd series.
  const double s = (mantissa - 1) / (mantissa + 1);
  const double s2 = s * s;
  const double series =
      1 +
      s2 * (1.0 / 3 + s2 * (1.0 / 5 + s2 * (1.0 / 7 + s2 * (1.0 / 9 + s2 * (1.0 / 11 + s2 / 13)))));
  constexpr double log_two = 0.69314718055994530942;
  return exponent * log_two + 2 * s * series;
}

// log(1 - p) for 0 < p < 1, accurate also where 1 - p rounds to 1.
inline double portable_log_of_complement(double p) noexcept {
  constexpr double small = 1e-4;  // below it four terms of the series leave an error < p^5
  if (p < small) return -p * (1 + p * (1.0 / 2 + p * (1.0 / 3 + p / 4)));
  return portable_log(1 - p);
}

class EventGaps {
 public:
  // Events of probability p, 0 < p < 1.
  explicit EventGaps(double probability) noexcept
      : per_log_(1 / portable_log_of_complement(probability)) {}

  // The gap before the next event: floor(log u / log(1 - p)) for u uniform in (0, 1], so that
  // P(gap >= g) = P(u <= (1 - p)^g) = (1 - p)^g. Capped at 2^62.
  std::uint64_t gap(engine::SeededGenerator& generator) const noexcept {
    const double uniform = static_cast<double>((generator.next_u64() >> 11U) + 1) * 0x1p-53;
    const double gap = portable_log(uniform) * per_log_;
    return gap < 0x1p62 ? static_cast<std::uint64_t>(gap) : std::uint64_t{1} << 62U;
  }

  // Calls visit(trial) for each trial in [0, trials) where an event happens, in order.
  template <class Visit>
  void for_each_event(std::uint64_t trials, engine::SeededGenerator& generator,
                      Visit&& visit) const {
    for (std::uint64_t trial = gap(generator); trial < trials; trial += 1 + gap(generator)) {
      visit(trial);
    }
  }

 private:
  double per_log_;  // 1 / log(1 - p)
};

}  // namespace korvane::circuit
