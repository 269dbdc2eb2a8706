// Checks the controlled-Z table entry by entry against two-qubit state vectors.
#include "korvane/clifford/cz_table.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>

#include "clifford_matrices.h"

namespace korvane::clifford {
namespace {

using testing::clifford_matrix;
using testing::Complex;
using testing::Matrix2;

// Amplitudes indexed by 2 * (first qubit's bit) + (second qubit's bit).
using TwoQubitState = std::array<Complex, 4>;

TwoQubitState graph_state(bool edge) {
  TwoQubitState state{0.5, 0.5, 0.5, 0.5};
  if (edge) state[3] = -state[3];
  return state;
}

TwoQubitState apply_cz(TwoQubitState state) {
  state[3] = -state[3];
  return state;
}

TwoQubitState apply_local(const Matrix2& first, const Matrix2& second, const TwoQubitState& in) {
  TwoQubitState out{};
  for (std::size_t row = 0; row < 4; ++row)
    for (std::size_t col = 0; col < 4; ++col)
      out[row] += first[2 * (row / 2) + col / 2] * second[2 * (row % 2) + col % 2] * in[col];
  return out;
}

bool equal_up_to_phase(const TwoQubitState& a, const TwoQubitState& b) {
  std::size_t pivot = 0;
  for (std::size_t i = 1; i < 4; ++i)
    if (std::abs(b[i]) > std::abs(b[pivot])) pivot = i;
  const Complex phase = a[pivot] / b[pivot];
  if (std::abs(std::abs(phase) - 1.0) > 1e-9) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a[i] - phase * b[i]) > 1e-9) return false;
  return true;
}

// A pure two-qubit state is a product state exactly when its 2x2 amplitude matrix is singular.
bool is_entangled(const TwoQubitState& state) {
  return std::abs(state[0] * state[3] - state[1] * state[2]) > 1e-9;
}

template <typename Visit>
void for_each_input(Visit visit) {
  for (int e = 0; e < 2; ++e)
    for (Vop a = 0; a < vop_count; ++a)
      for (Vop b = 0; b < vop_count; ++b) visit(e == 1, a, b);
}

TEST(CzTableTest, EveryEntryReproducesTheGate) {
  for_each_input([](bool e, Vop a, Vop b) {
    const CzEntry entry = cz_lookup(e, a, b);
    ASSERT_LE(entry.edge, 1);
    ASSERT_LT(entry.first, vop_count);
    ASSERT_LT(entry.second, vop_count);
    const TwoQubitState before =
        apply_cz(apply_local(clifford_matrix(a), clifford_matrix(b), graph_state(e)));
    const TwoQubitState after = apply_local(clifford_matrix(entry.first),
                                            clifford_matrix(entry.second), graph_state(entry.edge));
    EXPECT_TRUE(equal_up_to_phase(before, after))
        << "e=" << e << " a=" << int{a} << " b=" << int{b};
    EXPECT_EQ(entry.edge == 1, is_entangled(before))
        << "e=" << e << " a=" << int{a} << " b=" << int{b};
  });
}

// I, Z, S and S-dagger: the operators that commute with a controlled-Z.
bool is_diagonal(Vop v) {
  const Matrix2& m = clifford_matrix(v);
  return std::abs(m[1]) < 1e-12 && std::abs(m[2]) < 1e-12;
}

TEST(CzTableTest, DiagonalOperatorsStayDiagonal) {
  for_each_input([](bool e, Vop a, Vop b) {
    const CzEntry entry = cz_lookup(e, a, b);
    if (is_diagonal(a)) {
      EXPECT_TRUE(is_diagonal(entry.first)) << int{a} << " " << int{b};
    }
    if (is_diagonal(b)) {
      EXPECT_TRUE(is_diagonal(entry.second)) << int{a} << " " << int{b};
    }
    if (is_diagonal(a) && is_diagonal(b)) {
      EXPECT_EQ(entry.edge, e ? 0 : 1);
      EXPECT_EQ(entry.first, a);
      EXPECT_EQ(entry.second, b);
    }
  });
}

TEST(CzTableTest, CountsOfEntangledAndAsymmetricEntries) {
  std::array<int, 2> entangling{};
  int asymmetric = 0;
  for_each_input([&](bool e, Vop a, Vop b) {
    const CzEntry entry = cz_lookup(e, a, b);
    const CzEntry swapped = cz_lookup(e, b, a);
    entangling[e] += entry.edge;
    if (swapped.edge != entry.edge || swapped.first != entry.second ||
        swapped.second != entry.first)
      ++asymmetric;
  });
  EXPECT_EQ(entangling[0], 256);
  EXPECT_EQ(entangling[1], 192);
  EXPECT_EQ(asymmetric, 284);
}

void expect_entry(bool e, Vop a, Vop b, int edge, Vop first, Vop second) {
  const CzEntry entry = cz_lookup(e, a, b);
  EXPECT_EQ(entry.edge, edge) << e << "/" << int{a} << "/" << int{b};
  EXPECT_EQ(entry.first, first) << e << "/" << int{a} << "/" << int{b};
  EXPECT_EQ(entry.second, second) << e << "/" << int{a} << "/" << int{b};
}

// Where several triples satisfy the identity, the table fixes these ones.
TEST(CzTableTest, ChosenEntries) {
  expect_entry(false, 0, 0, 1, 0, 0);
  expect_entry(true, 0, 0, 0, 0, 0);
  expect_entry(false, 0, 10, 0, 0, 10);
  expect_entry(false, 10, 10, 0, 10, 10);
  expect_entry(false, 0, 8, 0, 3, 8);
  expect_entry(false, 6, 1, 1, 5, 1);
  expect_entry(true, 0, 8, 1, 5, 23);
  expect_entry(false, 0, 2, 1, 0, 3);
  expect_entry(false, 2, 0, 1, 2, 3);
  expect_entry(true, 8, 0, 1, 22, 6);
  expect_entry(true, 10, 0, 1, 20, 6);
}

}  // namespace
}  // namespace korvane::clifford
