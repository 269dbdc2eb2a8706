#include "independent_errors.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace korvane::circuit {
namespace {

// Whether the Paulis coded c and d (2 bits a qubit: 0..3 for I, X, Y, Z) anticommute.
bool anticommuting_cases(std::size_t c, std::size_t d) {
  unsigned crossings = 0;
  for (; c != 0 || d != 0; c >>= 2U, d >>= 2U) {
    const std::size_t a = c & 3U;
    const std::size_t b = d & 3U;
    crossings += (a != 0 && b != 0 && a != b) ? 1U : 0U;
  }
  return (crossings & 1U) != 0;
}

// Rounding may leave a probability that should be 0 a hair below it.
constexpr double rounding_slack = 1e-15;

}  // namespace

std::optional<std::vector<double>> independent_probabilities(std::span<const double> disjoint) {
  const std::size_t cases = disjoint.size();
  const std::size_t paulis = cases + 1;  // 4^n
  std::vector<double> independent(cases, 0.0);
  const auto possible = static_cast<std::size_t>(
      std::count_if(disjoint.begin(), disjoint.end(), [](double p) { return p > 0.0; }));
  if (possible <= 1) {
    std::copy(disjoint.begin(), disjoint.end(), independent.begin());
    return independent;
  }
  // Every case equally likely: the transform in closed form, which also covers l = 0.
  if (std::all_of(disjoint.begin(), disjoint.end(), [&](double p) { return p == disjoint[0]; })) {
    const double eigenvalue = 1.0 - static_cast<double>(paulis) * disjoint[0];
    if (eigenvalue < 0.0) return std::nullopt;
    const double q = (1.0 - std::pow(eigenvalue, 2.0 / static_cast<double>(paulis))) / 2.0;
    std::fill(independent.begin(), independent.end(), q);
    return independent;
  }
  std::vector<double> log_eigenvalues(paulis, 0.0);
  for (std::size_t p = 1; p < paulis; ++p) {
    double anticommuting = 0.0;
    for (std::size_t c = 1; c < paulis; ++c) {
      if (anticommuting_cases(p, c)) anticommuting += disjoint[c - 1];
    }
    if (!(anticommuting < 0.5)) return std::nullopt;
    log_eigenvalues[p] = std::log1p(-2.0 * anticommuting);
  }
  for (std::size_t c = 1; c < paulis; ++c) {
    double sum = 0.0;
    for (std::size_t p = 1; p < paulis; ++p) {
      sum += anticommuting_cases(c, p) ? -log_eigenvalues[p] : log_eigenvalues[p];
    }
    const double log_factor = -2.0 * sum / static_cast<double>(paulis);
    double q = -std::expm1(log_factor) / 2.0;
    if (q < 0.0) {
      if (q < -rounding_slack) return std::nullopt;
      q = 0.0;
    }
    independent[c - 1] = q;
  }
  return independent;
}

}  // namespace korvane::circuit
