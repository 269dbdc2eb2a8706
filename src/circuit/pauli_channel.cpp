#include "pauli_channel.h"

#include <cmath>
#include <limits>

namespace korvane::circuit {
namespace {

// p 2^64 rounded down, or the largest word for p >= 1.
std::uint64_t scaled_to_word(double probability) {
  const double scaled = std::ldexp(probability, 64);
  if (scaled >= std::ldexp(1.0, 64)) return std::numeric_limits<std::uint64_t>::max();
  return scaled <= 0.0 ? 0 : static_cast<std::uint64_t>(scaled);
}

}  // namespace

PauliChannel PauliChannel::from_probabilities(std::span<const double> probabilities) {
  PauliChannel channel;
  double cumulative = 0.0;
  for (std::size_t k = 0; k < probabilities.size() && k < max_outcomes; ++k) {
    cumulative += probabilities[k];
    channel.bounds_[k] = scaled_to_word(cumulative);
    if (probabilities[k] > 0.0) channel.last_possible_ = static_cast<std::uint8_t>(k + 1);
  }
  channel.outcome_count_ = static_cast<std::uint8_t>(probabilities.size());
  channel.total_ = channel.outcome_count_ == 0 ? 0 : channel.bounds_[channel.outcome_count_ - 1];
  channel.certain_ = cumulative >= 1.0;
  return channel;
}

double PauliChannel::probability() const noexcept {
  return certain_ ? 1.0 : std::ldexp(static_cast<double>(total_), -64);
}

}  // namespace korvane::circuit
