// Checks every table over the VOP numbering against matrix arithmetic on the 24 representatives.
#include "korvane/clifford/local_clifford.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>

#include "clifford_matrices.h"

namespace korvane::clifford {
namespace {

using testing::clifford_matrix;
using testing::Complex;
using testing::dagger;
using testing::equal_up_to_phase;
using testing::Matrix2;
using testing::multiply;
using testing::pauli_matrix;

// The one index whose representative equals `m` up to a phase; fails the test when there is not
// exactly one.
Vop index_of(const Matrix2& m) {
  std::optional<Vop> match;
  for (std::size_t v = 0; v < vop_count; ++v) {
    if (!equal_up_to_phase(m, clifford_matrix(v))) continue;
    EXPECT_FALSE(match.has_value()) << "two indices match one operator";
    match = static_cast<Vop>(v);
  }
  EXPECT_TRUE(match.has_value()) << "no index matches the operator";
  return match.value_or(0);
}

bool equal_exactly(const Matrix2& a, const Matrix2& b) {
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a[i] - b[i]) > 1e-9) return false;
  return true;
}

Matrix2 negated(Matrix2 m) {
  for (auto& entry : m) entry = -entry;
  return m;
}

struct SignedAxis {
  Axis axis;
  bool minus;
};

// The Pauli +-Q equal to `m` (no phase freedom: conjugates of Hermitian Paulis are Hermitian).
SignedAxis as_signed_pauli(const Matrix2& m) {
  for (std::size_t q = 0; q < 3; ++q) {
    if (equal_exactly(m, pauli_matrix(q))) return {static_cast<Axis>(q), false};
    if (equal_exactly(m, negated(pauli_matrix(q)))) return {static_cast<Axis>(q), true};
  }
  ADD_FAILURE() << "conjugate is not a signed Pauli";
  return {Axis::X, false};
}

Matrix2 conjugate(const Matrix2& c, const Matrix2& p) {
  return multiply(multiply(c, p), dagger(c));
}

TEST(LocalCliffordTest, RepresentativesAreUnitaryAndDistinct) {
  const Matrix2 identity_matrix{Complex{1, 0}, Complex{0, 0}, Complex{0, 0}, Complex{1, 0}};
  for (std::size_t v = 0; v < vop_count; ++v) {
    const Matrix2& m = clifford_matrix(v);
    EXPECT_TRUE(equal_exactly(multiply(m, dagger(m)), identity_matrix)) << v;
    EXPECT_EQ(index_of(m), v);
  }
}

TEST(LocalCliffordTest, ProductTableIsMatrixProduct) {
  for (std::size_t a = 0; a < vop_count; ++a)
    for (std::size_t b = 0; b < vop_count; ++b)
      EXPECT_EQ(product_table[a][b], index_of(multiply(clifford_matrix(a), clifford_matrix(b))))
          << "row " << a << " column " << b;
}

TEST(LocalCliffordTest, AdjointTableIsConjugateTranspose) {
  for (std::size_t a = 0; a < vop_count; ++a) {
    EXPECT_EQ(adjoint_table[a], index_of(dagger(clifford_matrix(a)))) << a;
    EXPECT_EQ(product(static_cast<Vop>(a), adjoint(static_cast<Vop>(a))), identity) << a;
    EXPECT_EQ(product(adjoint(static_cast<Vop>(a)), static_cast<Vop>(a)), identity) << a;
    EXPECT_EQ(adjoint(adjoint(static_cast<Vop>(a))), a);
  }
}

TEST(LocalCliffordTest, ImageAxisAndSignAreConjugation) {
  for (std::size_t c = 0; c < vop_count; ++c) {
    for (std::size_t p = 0; p < 3; ++p) {
      const auto pauli = static_cast<Axis>(p);
      const SignedAxis image = as_signed_pauli(conjugate(clifford_matrix(c), pauli_matrix(p)));
      EXPECT_EQ(image_axis_table[p][c], image.axis) << "axis " << p << " vop " << c;
      EXPECT_EQ(image_axis(pauli, static_cast<Vop>(c)), image.axis);
      EXPECT_EQ(image_sign(static_cast<Vop>(c), pauli), image.minus)
          << "axis " << p << " vop " << c;
    }
  }
}

TEST(LocalCliffordTest, XPreimageIsConjugationByAdjoint) {
  for (std::size_t c = 0; c < vop_count; ++c) {
    const SignedAxis preimage =
        as_signed_pauli(conjugate(dagger(clifford_matrix(c)), pauli_matrix(0)));
    EXPECT_EQ(x_preimage_table[c], preimage.axis) << c;
    // The eigen-axis of a lone qubit with VOP v, read two ways.
    EXPECT_EQ(x_preimage_table[adjoint(static_cast<Vop>(c))],
              image_axis(Axis::X, static_cast<Vop>(c)));
  }
}

TEST(LocalCliffordTest, ProductTableIsAssociativeWithIdentity) {
  for (Vop a = 0; a < vop_count; ++a) {
    EXPECT_EQ(product(identity, a), a);
    EXPECT_EQ(product(a, identity), a);
    for (Vop b = 0; b < vop_count; ++b)
      for (Vop c = 0; c < vop_count; ++c)
        ASSERT_EQ(product(product(a, b), c), product(a, product(b, c)))
            << a << " " << b << " " << c;
  }
}

TEST(LocalCliffordTest, BlockStructureOfTheNumbering) {
  for (Vop m = 0; m < 6; ++m) {
    const auto leader = static_cast<Vop>(4 * m);
    for (Vop k = 0; k < 4; ++k) {
      EXPECT_EQ(product(leader, k), leader + k);
      // Image axes depend on the block alone.
      for (std::size_t p = 0; p < 3; ++p)
        EXPECT_EQ(image_axis_table[p][leader + k], image_axis_table[p][leader]);
      // Paulis applied after an element keep it in its block.
      for (Vop pauli = pauli_x; pauli <= pauli_z; ++pauli)
        EXPECT_EQ(product(pauli, static_cast<Vop>(leader + k)) / 4, m);
    }
  }
}

TEST(LocalCliffordTest, NamedElementsAreTheNamedOperators) {
  const double h = 1.0 / std::sqrt(2.0);
  const Complex i{0, 1};
  auto expect_named = [&](Vop v, const Matrix2& m) {
    EXPECT_TRUE(equal_up_to_phase(clifford_matrix(v), m)) << static_cast<int>(v);
  };
  expect_named(identity, {1, 0, 0, 1});
  expect_named(pauli_x, pauli_matrix(0));
  expect_named(pauli_y, pauli_matrix(1));
  expect_named(pauli_z, pauli_matrix(2));
  expect_named(s_gate, {1, 0, 0, i});
  expect_named(s_dagger, {1, 0, 0, -i});
  expect_named(hadamard, {h, h, h, -h});
  // (I -+ iY)/sqrt(2) and (I +- iX)/sqrt(2).
  expect_named(minus_sqrt_iy, {h, -h, h, h});
  expect_named(plus_sqrt_iy, {h, h, -h, h});
  expect_named(plus_sqrt_ix, {h, i * h, i * h, h});
}

TEST(LocalCliffordTest, GateSequencesFromIdentity) {
  auto apply_gates = [](std::initializer_list<Vop> gates) {
    Vop v = identity;
    for (const Vop g : gates) v = product(g, v);
    return v;
  };
  EXPECT_EQ(apply_gates({s_gate, pauli_x}), 4);
  EXPECT_EQ(apply_gates({hadamard, s_gate}), 20);
  EXPECT_EQ(apply_gates({s_gate, hadamard, s_dagger}), 12);
  EXPECT_EQ(apply_gates({hadamard, s_dagger, hadamard}), 14);
  EXPECT_EQ(product(s_gate, s_gate), pauli_z);
  EXPECT_EQ(product(plus_sqrt_ix, plus_sqrt_ix), pauli_x);
}

}  // namespace
}  // namespace korvane::clifford
