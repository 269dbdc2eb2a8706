// Dense unitaries on a few qubits, for the OpenQASM gates that korvane cannot take gate by gate:
// a parametrised gate, a gate under a modifier, or a gate block whose steps are not all Clifford
// although the whole block is. The unitary is built from its steps, then recognised as a Clifford
// by the images of X and Z under conjugation, or refused.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "../gates/clifford_synthesis.h"

namespace korvane::circuit::qasm {

using Amplitude = std::complex<double>;

// Entries closer than this to a Clifford's are taken as equal: the angles of a written gate are
// rounded decimals of multiples of pi/2.
inline constexpr double clifford_tolerance = 1e-9;

// The largest gate, in qubits, that is built as a matrix (4^k entries).
inline constexpr std::size_t largest_dense_gate = 8;

// A 2^k x 2^k matrix on k qubits, little-endian: basis index sum b_j 2^j, qubit j the j-th
// argument of the gate. Row = output.
class Unitary {
 public:
  explicit Unitary(std::size_t qubits);  // the identity
  Unitary(std::size_t qubits, std::vector<Amplitude> entries);

  std::size_t qubits() const { return qubits_; }
  std::size_t dimension() const { return std::size_t{1} << qubits_; }
  Amplitude at(std::size_t row, std::size_t column) const {
    return entries_[row * dimension() + column];
  }
  Amplitude& at(std::size_t row, std::size_t column) {
    return entries_[row * dimension() + column];
  }

  // Applies `gate` after this unitary, its qubit j on `targets[j]`.
  void then(const Unitary& gate, std::span<const std::size_t> targets);
  void scale(Amplitude factor);
  Unitary adjoint() const;
  // The gate on `controls` more qubits, placed first: it acts where each control reads 1 (or 0
  // where `negated`).
  Unitary controlled(std::span<const bool> negated) const;

 private:
  std::size_t qubits_;
  std::vector<Amplitude> entries_;
};

// U(theta, phi, lambda) of OpenQASM 3 (u3 of OpenQASM 2 up to a global phase).
Unitary u_gate(double theta, double phi, double lambda);
// CX, control first.
Unitary cx_gate();

// The unitary's Clifford tableau, or nothing when it is not a Clifford (within
// clifford_tolerance).
std::optional<Tableau> clifford_tableau(const Unitary& unitary);

}  // namespace korvane::circuit::qasm
