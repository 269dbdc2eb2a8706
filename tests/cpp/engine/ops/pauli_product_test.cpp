// Pauli products, reset and swap against the exact state vector, on random graphs with random
// VOPs in both storages: expectation values with their signs, the outcome and the state after a
// measurement, and the words drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "gate_lists.h"
#include "korvane/engine/base.h"
#include "korvane/engine/ops/pauli_product.h"
#include "korvane/engine/ops/reset.h"
#include "korvane/engine/ops/swap.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::testing {
namespace {

using clifford::Axis;
using engine::PauliProduct;
using Factors = std::vector<std::pair<std::size_t, Axis>>;

// A product on a random subset of the qubits (possibly none), with a random sign.
PauliProduct random_product(SeededSource& random, std::size_t n) {
  PauliProduct product;
  product.negative = random.below(2) == 1;
  for (std::size_t q = 0; q < n; ++q) {
    const std::size_t letter = random.below(4);
    if (letter < 3) product.factors.push_back({q, static_cast<Axis>(letter)});
  }
  // Another order than the qubits', to show it does not matter.
  for (std::size_t i = product.factors.size(); i > 1; --i)
    std::swap(product.factors[i - 1], product.factors[random.below(i)]);
  return product;
}

Factors factors_of(const PauliProduct& product) {
  Factors factors;
  for (const auto& factor : product.factors) factors.emplace_back(factor.qubit, factor.axis);
  return factors;
}

constexpr std::size_t trials = 300;

TEST(PauliProduct, ExpectationAndMeasurementAgreeWithTheStateVector) {
  SeededSource random(11);
  std::size_t random_outcomes = 0;
  for (std::size_t trial = 0; trial < trials; ++trial) {
    const std::size_t n = 1 + random.below(7);
    const engine::Storage storage = both_storages[trial % 2];
    engine::Register reg = random_register(random, n, 50, storage);
    const StateVector state = StateVector::from_register(reg);
    const PauliProduct product = random_product(random, n);
    const double expected = state.pauli_expectation(factors_of(product), product.negative);
    const int expectation = engine::pauli_expectation(reg, product);
    ASSERT_NEAR(expectation, expected, 1e-9) << describe(reg) << " trial " << trial;

    const bool top_bit = random.below(2) == 1;
    ScriptedSource source({top_bit ? word_with_top_bit_set : word_with_top_bit_clear});
    const bool outcome = engine::measure_pauli(reg, product, source);
    ASSERT_EQ(source.draws(), expectation == 0 ? 1U : 0U) << "trial " << trial;
    ASSERT_EQ(invariant_violation(reg), "");
    if (expectation != 0) {
      ASSERT_EQ(outcome, expectation < 0);
      ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(state));
      continue;
    }
    ++random_outcomes;
    StateVector projected = state;
    projected.project_pauli(factors_of(product), product.negative, outcome);
    ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(projected, 1e-7))
        << "trial " << trial << ": " << describe(reg);
  }
  EXPECT_GT(random_outcomes, trials / 4);
}

TEST(PauliProduct, BadIndicesAreRefusedBeforeAnyChange) {
  SeededSource random(12);
  engine::Register reg = random_register(random, 5, 50, engine::Storage::sparse);
  const engine::Register before = reg;
  const PauliProduct product{{{0, Axis::X}, {3, Axis::Z}, {5, Axis::Y}}, false};
  ScriptedSource source({word_with_top_bit_set});
  EXPECT_THROW(engine::pauli_expectation(reg, product), engine::Fault);
  EXPECT_THROW(engine::measure_pauli(reg, product, source), engine::Fault);
  EXPECT_TRUE(same_representation(reg, before));
  EXPECT_EQ(source.draws(), 0U);
}

TEST(ResetAndSwap, AgreeWithTheStateVector) {
  SeededSource random(13);
  for (std::size_t trial = 0; trial < trials; ++trial) {
    const std::size_t n = 2 + random.below(6);
    engine::Register reg = random_register(random, n, 50, both_storages[trial % 2]);
    StateVector state = StateVector::from_register(reg);
    const std::size_t a = random.below(n);
    const std::size_t b = random.below(n);
    engine::swap(reg, a, b);
    if (a != b) {
      state.controlled(testing::controlled_gate("CX"), a, b);
      state.controlled(testing::controlled_gate("CX"), b, a);
      state.controlled(testing::controlled_gate("CX"), a, b);
    }
    ASSERT_EQ(invariant_violation(reg), "");
    ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(state))
        << "swap " << a << " " << b << " trial " << trial;

    ScriptedSource source({random.below(2) == 1 ? word_with_top_bit_set : word_with_top_bit_clear});
    const double one_probability = state.probability(a, Axis::Z, true);
    engine::reset(reg, a, clifford::Axis::Z, source);
    ASSERT_EQ(source.draws(), one_probability > 1e-9 && one_probability < 1 - 1e-9 ? 1U : 0U);
    // |0> on a, the others as a Z outcome that was possible leaves them.
    const StateVector after = StateVector::from_register(reg);
    bool matches = false;
    for (const bool found_one : {false, true}) {
      if (state.probability(a, Axis::Z, found_one) < 1e-9) continue;
      StateVector expected = state;
      expected.project(a, Axis::Z, found_one);
      if (found_one) expected.apply(a, pauli_x_matrix);
      matches = matches || after.equal_up_to_phase(expected, 1e-7);
    }
    ASSERT_TRUE(matches) << "reset " << a << " trial " << trial;
  }
}

TEST(ResetAndSwap, BadIndicesAreRefusedBeforeAnyChange) {
  SeededSource random(14);
  engine::Register reg = random_register(random, 4, 50, engine::Storage::dense);
  const engine::Register before = reg;
  ScriptedSource source({word_with_top_bit_set});
  EXPECT_THROW(engine::swap(reg, 1, 4), engine::Fault);
  EXPECT_THROW(engine::swap(reg, 4, 1), engine::Fault);
  EXPECT_THROW(engine::reset(reg, 4, clifford::Axis::Z, source), engine::Fault);
  EXPECT_TRUE(same_representation(reg, before));
  EXPECT_EQ(source.draws(), 0U);
}

}  // namespace
}  // namespace korvane::testing
