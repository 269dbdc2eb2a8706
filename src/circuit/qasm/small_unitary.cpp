#include "small_unitary.h"

#include <array>
#include <bit>
#include <cmath>
#include <utility>

namespace korvane::circuit::qasm {
namespace {

// i^power for power 0..3.
Amplitude i_power(unsigned power) {
  constexpr std::array<Amplitude, 4> powers{Amplitude{1, 0}, Amplitude{0, 1}, Amplitude{-1, 0},
                                            Amplitude{0, -1}};
  return powers[power % 4U];
}

bool parity(std::uint32_t bits) { return (std::popcount(bits) & 1) != 0; }

bool close(Amplitude a, Amplitude b) { return std::abs(a - b) < clifford_tolerance; }

// The image U P U^dagger of P = X_j (or Z_j), when it is a signed Pauli.
std::optional<SignedPauli> image(const Unitary& u, std::size_t qubit, bool z_type) {
  const std::size_t dimension = u.dimension();
  const std::size_t flip = z_type ? 0 : std::size_t{1} << qubit;
  const auto pauli_times = [&](std::size_t row, std::size_t a) {
    const Amplitude value = u.at(row, a ^ flip);
    return z_type && ((a >> qubit) & 1U) != 0 ? -value : value;
  };
  const auto entry = [&](std::size_t row, std::size_t column) {
    Amplitude sum = 0;
    for (std::size_t a = 0; a < dimension; ++a)
      sum += pauli_times(row, a) * std::conj(u.at(column, a));
    return sum;
  };
  std::size_t x = 0;
  while (x < dimension && std::abs(entry(0, x)) < 0.5) ++x;
  if (x == dimension) return std::nullopt;
  const Amplitude first = entry(0, x);
  SignedPauli result;
  result.x = static_cast<std::uint32_t>(x);
  for (std::size_t j = 0; j < u.qubits(); ++j) {
    const std::size_t row = std::size_t{1} << j;
    const Amplitude ratio = entry(row, row ^ x) / first;
    if (close(ratio, -1.0)) {
      result.z |= 1U << j;
    } else if (!close(ratio, 1.0)) {
      return std::nullopt;
    }
  }
  const Amplitude base = i_power(static_cast<unsigned>(std::popcount(result.x & result.z)));
  const Amplitude sign = first / (base * (parity(result.z & result.x) ? -1.0 : 1.0));
  if (close(sign, -1.0)) {
    result.negative = true;
  } else if (!close(sign, 1.0)) {
    return std::nullopt;
  }
  const Amplitude signed_base = result.negative ? -base : base;
  for (std::size_t row = 0; row < dimension; ++row) {
    const std::size_t column = row ^ x;
    const bool odd = parity(result.z & static_cast<std::uint32_t>(column));
    if (!close(entry(row, column), odd ? -signed_base : signed_base)) return std::nullopt;
  }
  return result;
}

}  // namespace

Unitary::Unitary(std::size_t qubits) : qubits_(qubits), entries_(dimension() * dimension()) {
  for (std::size_t i = 0; i < dimension(); ++i) at(i, i) = 1.0;
}

Unitary::Unitary(std::size_t qubits, std::vector<Amplitude> entries)
    : qubits_(qubits), entries_(std::move(entries)) {}

void Unitary::then(const Unitary& gate, std::span<const std::size_t> targets) {
  const std::size_t size = gate.dimension();
  std::size_t target_mask = 0;
  for (const std::size_t t : targets) target_mask |= std::size_t{1} << t;
  // The offset of the gate's basis index b among this unitary's rows.
  std::vector<std::size_t> offset(size);
  for (std::size_t b = 0; b < size; ++b) {
    for (std::size_t j = 0; j < targets.size(); ++j) {
      if (((b >> j) & 1U) != 0) offset[b] |= std::size_t{1} << targets[j];
    }
  }
  std::vector<Amplitude> in(size);
  for (std::size_t column = 0; column < dimension(); ++column) {
    for (std::size_t base = 0; base < dimension(); ++base) {
      if ((base & target_mask) != 0) continue;
      for (std::size_t b = 0; b < size; ++b) in[b] = at(base | offset[b], column);
      for (std::size_t r = 0; r < size; ++r) {
        Amplitude sum = 0;
        for (std::size_t b = 0; b < size; ++b) sum += gate.at(r, b) * in[b];
        at(base | offset[r], column) = sum;
      }
    }
  }
}

void Unitary::scale(Amplitude factor) {
  for (Amplitude& entry : entries_) entry *= factor;
}

Unitary Unitary::adjoint() const {
  Unitary result(qubits_);
  for (std::size_t r = 0; r < dimension(); ++r) {
    for (std::size_t c = 0; c < dimension(); ++c) result.at(c, r) = std::conj(at(r, c));
  }
  return result;
}

Unitary Unitary::controlled(std::span<const bool> negated) const {
  const std::size_t controls = negated.size();
  Unitary result(qubits_ + controls);
  std::size_t active = 0;
  for (std::size_t c = 0; c < controls; ++c) {
    if (!negated[c]) active |= std::size_t{1} << c;
  }
  for (std::size_t r = 0; r < dimension(); ++r) {
    for (std::size_t c = 0; c < dimension(); ++c) {
      result.at((r << controls) | active, (c << controls) | active) = at(r, c);
    }
  }
  return result;
}

Unitary u_gate(double theta, double phi, double lambda) {
  const double c = std::cos(theta / 2), s = std::sin(theta / 2);
  const Amplitude e_phi = std::polar(1.0, phi), e_lambda = std::polar(1.0, lambda);
  return Unitary(1, {c, -e_lambda * s, e_phi * s, e_phi * e_lambda * c});
}

Unitary cx_gate() {
  Unitary result(2, std::vector<Amplitude>(16));
  // Little-endian: the control is bit 0, so |c=1, t=0> = 1 and |c=1, t=1> = 3 trade places.
  result.at(0, 0) = result.at(2, 2) = result.at(3, 1) = result.at(1, 3) = 1.0;
  return result;
}

std::optional<Tableau> clifford_tableau(const Unitary& unitary) {
  Tableau tableau;
  for (std::size_t j = 0; j < unitary.qubits(); ++j) {
    const std::optional<SignedPauli> x = image(unitary, j, false);
    const std::optional<SignedPauli> z = image(unitary, j, true);
    if (!x || !z) return std::nullopt;
    tableau.x_images.push_back(*x);
    tableau.z_images.push_back(*z);
  }
  return tableau;
}

}  // namespace korvane::circuit::qasm
