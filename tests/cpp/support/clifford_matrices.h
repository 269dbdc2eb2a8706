// The 24 single-qubit Clifford operators as explicit 2x2 matrices, written independently of the
// engine's tables so that tests can check those tables (and whole registers) by matrix arithmetic.
#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstddef>

namespace korvane::testing {

using Complex = std::complex<double>;

// Row-major: {m00, m01, m10, m11}.
using Matrix2 = std::array<Complex, 4>;

inline Matrix2 multiply(const Matrix2& a, const Matrix2& b) {
  return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
          a[2] * b[1] + a[3] * b[3]};
}

inline Matrix2 dagger(const Matrix2& a) {
  return {std::conj(a[0]), std::conj(a[2]), std::conj(a[1]), std::conj(a[3])};
}

// Whether a = phase * b for some unit complex phase.
inline bool equal_up_to_phase(const Matrix2& a, const Matrix2& b, double tolerance = 1e-9) {
  std::size_t pivot = 0;
  for (std::size_t i = 1; i < 4; ++i)
    if (std::abs(b[i]) > std::abs(b[pivot])) pivot = i;
  if (std::abs(b[pivot]) < tolerance) return false;
  const Complex phase = a[pivot] / b[pivot];
  if (std::abs(std::abs(phase) - 1.0) > tolerance) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a[i] - phase * b[i]) > tolerance) return false;
  return true;
}

inline const Matrix2 pauli_x_matrix{Complex{0, 0}, Complex{1, 0}, Complex{1, 0}, Complex{0, 0}};
inline const Matrix2 pauli_y_matrix{Complex{0, 0}, Complex{0, -1}, Complex{0, 1}, Complex{0, 0}};
inline const Matrix2 pauli_z_matrix{Complex{1, 0}, Complex{0, 0}, Complex{0, 0}, Complex{-1, 0}};

// X, Y, Z by axis number 0, 1, 2.
inline const Matrix2& pauli_matrix(std::size_t axis) {
  static const std::array<Matrix2, 3> paulis{pauli_x_matrix, pauli_y_matrix, pauli_z_matrix};
  return paulis.at(axis);
}

// The representative of VOP index v, from the table of the 24 operators.
inline const Matrix2& clifford_matrix(std::size_t v) {
  static const std::array<Matrix2, 24> matrices = [] {
    const double inv_sqrt2 = 1.0 / std::sqrt(2.0);
    auto scaled = [](double factor, Matrix2 m) {
      for (auto& entry : m) entry *= factor;
      return m;
    };
    return std::array<Matrix2, 24>{
        scaled(1.0, {{{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {1.0, 0.0}}}),           // 0
        scaled(1.0, {{{0.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}, {0.0, 0.0}}}),           // 1
        scaled(1.0, {{{0.0, 0.0}, {1.0, 0.0}, {-1.0, 0.0}, {0.0, 0.0}}}),          // 2
        scaled(1.0, {{{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {-1.0, 0.0}}}),          // 3
        scaled(1.0, {{{0.0, 0.0}, {1.0, 0.0}, {0.0, -1.0}, {0.0, 0.0}}}),          // 4
        scaled(1.0, {{{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, -1.0}}}),          // 5
        scaled(1.0, {{{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 1.0}}}),           // 6
        scaled(1.0, {{{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {0.0, 0.0}}}),           // 7
        scaled(inv_sqrt2, {{{1.0, 0.0}, {-1.0, 0.0}, {-1.0, 0.0}, {-1.0, 0.0}}}),  // 8
        scaled(inv_sqrt2, {{{1.0, 0.0}, {-1.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}}}),    // 9
        scaled(inv_sqrt2, {{{1.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}, {-1.0, 0.0}}}),    // 10
        scaled(inv_sqrt2, {{{1.0, 0.0}, {1.0, 0.0}, {-1.0, 0.0}, {1.0, 0.0}}}),    // 11
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, 1.0}, {0.0, -1.0}, {-1.0, 0.0}}}),   // 12
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, -1.0}, {0.0, 1.0}, {-1.0, 0.0}}}),   // 13
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, 1.0}, {0.0, 1.0}, {1.0, 0.0}}}),     // 14
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, -1.0}, {0.0, -1.0}, {1.0, 0.0}}}),   // 15
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, -1.0}, {1.0, 0.0}, {0.0, 1.0}}}),    // 16
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}, {0.0, 1.0}}}),    // 17
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, -1.0}, {-1.0, 0.0}, {0.0, -1.0}}}),  // 18
        scaled(inv_sqrt2, {{{1.0, 0.0}, {0.0, 1.0}, {1.0, 0.0}, {0.0, -1.0}}}),    // 19
        scaled(inv_sqrt2, {{{1.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {0.0, -1.0}}}),    // 20
        scaled(inv_sqrt2, {{{1.0, 0.0}, {1.0, 0.0}, {0.0, -1.0}, {0.0, 1.0}}}),    // 21
        scaled(inv_sqrt2, {{{1.0, 0.0}, {-1.0, 0.0}, {0.0, -1.0}, {0.0, -1.0}}}),  // 22
        scaled(inv_sqrt2, {{{1.0, 0.0}, {-1.0, 0.0}, {0.0, 1.0}, {0.0, 1.0}}}),    // 23
    };
  }();
  return matrices.at(v);
}

}  // namespace korvane::testing
