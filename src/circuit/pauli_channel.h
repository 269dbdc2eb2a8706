// A random choice among a few Paulis (or none), made from one uniform 64-bit draw. Noise channels
// and measurement flips are all of this form: X_ERROR(p) is "X with probability p", DEPOLARIZE2(p)
// "one of 15 two-qubit Paulis with probability p / 15 each", M(p) "a flip with probability p".
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace korvane::circuit {

// floor(draw * range / 2^64): a uniform draw scaled to a uniform one below `range`.
constexpr std::uint64_t scaled_draw(std::uint64_t draw, std::uint64_t range) {
  constexpr std::uint64_t low_half = 0xFFFFFFFFU;
  const std::uint64_t draw_high = draw >> 32, draw_low = draw & low_half;
  const std::uint64_t range_high = range >> 32, range_low = range & low_half;
  const std::uint64_t middle = draw_high * range_low + ((draw_low * range_low) >> 32);
  const std::uint64_t crossed = draw_low * range_high + (middle & low_half);
  return draw_high * range_high + (middle >> 32) + (crossed >> 32);
}

class PauliChannel {
 public:
  static constexpr std::size_t max_outcomes = 15;

  PauliChannel() = default;
  // Outcome k (1-based) has probability probabilities[k - 1]; each is in [0, 1] and they sum to
  // at most 1 (the parser checks both). Outcome k is drawn when u lies in
  // [P(k - 1) 2^64, P(k) 2^64), P(k) the cumulative probability, rounded down to an integer.
  static PauliChannel from_probabilities(std::span<const double> probabilities);

  // The outcome of the draw u: 0 for none, else 1..outcome count.
  unsigned pick(std::uint64_t draw) const noexcept {
    if (draw >= total_ && !certain_) return 0;
    for (unsigned k = 0; k < outcome_count_; ++k) {
      if (draw < bounds_[k]) return k + 1;
    }
    // Only when the probabilities sum to 1: the top of the range, lost to rounding, goes to the
    // last outcome that can happen at all.
    return last_possible_;
  }

  // True when no outcome can happen: the channel needs no draw.
  bool is_silent() const noexcept { return total_ == 0 && !certain_; }
  // True when some outcome always happens.
  bool is_certain() const noexcept { return certain_; }

  // The probability that some outcome happens, as the draws see it: total / 2^64, or 1.
  double probability() const noexcept;

  // The outcome of the draw u given that some outcome happens: u is scaled into the range of
  // draws that pick one, so each outcome comes with its probability divided by the total.
  unsigned pick_given_event(std::uint64_t draw) const noexcept {
    return certain_ ? pick(draw) : pick(scaled_draw(draw, total_));
  }

  bool operator==(const PauliChannel&) const = default;

 private:
  std::array<std::uint64_t, max_outcomes> bounds_{};
  std::uint64_t total_ = 0;
  std::uint8_t outcome_count_ = 0;
  std::uint8_t last_possible_ = 0;
  bool certain_ = false;
};

// The two Paulis of a two-qubit outcome k (1..15) of DEPOLARIZE2, as VOPs 0..3 (I, X, Y, Z):
// the first target's is k / 4, the second's k % 4.
constexpr unsigned first_pauli_of_pair(unsigned outcome) { return outcome >> 2U; }
constexpr unsigned second_pauli_of_pair(unsigned outcome) { return outcome & 3U; }

}  // namespace korvane::circuit
