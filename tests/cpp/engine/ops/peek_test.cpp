// Trial measurement of a set of qubits: the register stays untouched, lone qubits are read on
// their certain axis, and the outcomes form one possible sequence of real measurements.
#include "korvane/engine/ops/peek.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fault_message.h"
#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/measure.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using korvane::testing::fault_message;

using clifford::Axis;
using testing::describe;
using testing::same_representation;
using testing::ScriptedSource;
using testing::SeededSource;
using testing::StateVector;

constexpr std::array<Axis, 3> all_axes{Axis::X, Axis::Y, Axis::Z};

Register bell_pair() {
  Register reg(2);
  reg.apply_clifford(0, clifford::hadamard);
  reg.apply_clifford(1, clifford::hadamard);
  cz(reg, 0, 1);
  return reg;
}

TEST(PeekMeasureSet, EmptySetDrawsNothing) {
  const Register reg = bell_pair();
  ScriptedSource source({0});
  EXPECT_TRUE(peek_measure_set(reg, {}, source).empty());
  EXPECT_EQ(source.draws(), 0U);
}

TEST(PeekMeasureSet, LoneQubitsGetTheirCertainAxis) {
  Register reg(4);
  reg.apply_clifford(1, clifford::pauli_x);
  reg.apply_clifford(2, clifford::hadamard);
  reg.apply_clifford(3, clifford::s_gate);  // S|0> = |0>: still certain on Z
  ScriptedSource source({0x80000000U});
  const std::vector<TrialOutcome> outcomes = peek_measure_set(reg, {2, 0, 1, 3}, source);
  ASSERT_EQ(outcomes.size(), 4U);
  const std::array<Qubit, 4> order{2, 0, 1, 3};
  const std::array<Axis, 4> axes{Axis::X, Axis::Z, Axis::Z, Axis::Z};
  const std::array<bool, 4> results{false, false, true, false};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(outcomes[i].qubit, order[i]);
    EXPECT_EQ(outcomes[i].axis, axes[i]) << order[i];
    EXPECT_EQ(outcomes[i].result, results[i]) << order[i];
  }
  EXPECT_EQ(source.draws(), 0U);
}

TEST(PeekMeasureSet, BellPairGivesOneRandomAndOneCertainEntry) {
  SeededSource dice(11);
  std::array<std::size_t, 3> first_axes{};
  for (int trial = 0; trial < 300; ++trial) {
    const Register reg = bell_pair();
    const Register before = reg;
    const std::vector<Qubit> order =
        trial % 2 == 0 ? std::vector<Qubit>{0, 1} : std::vector<Qubit>{1, 0};
    const std::vector<TrialOutcome> outcomes = peek_measure_set(reg, order, dice);
    ASSERT_EQ(outcomes.size(), 2U);
    EXPECT_TRUE(same_representation(reg, before));
    ++first_axes[static_cast<std::size_t>(outcomes[0].axis)];
    // The second qubit is certain after the first was measured.
    StateVector state = StateVector::from_register(reg);
    state.project(outcomes[0].qubit, outcomes[0].axis, outcomes[0].result);
    EXPECT_NEAR(state.probability(outcomes[1].qubit, outcomes[1].axis, outcomes[1].result), 1.0,
                1e-9);
  }
  for (const std::size_t count : first_axes) EXPECT_GT(count, 60U);
}

TEST(PeekMeasureSet, RepeatedIndexIsMeasuredOnce) {
  const Register reg = bell_pair();
  SeededSource dice(1);
  const std::vector<TrialOutcome> outcomes = peek_measure_set(reg, {1, 1, 0, 1}, dice);
  ASSERT_EQ(outcomes.size(), 2U);
  EXPECT_EQ(outcomes[0].qubit, 1U);
  EXPECT_EQ(outcomes[1].qubit, 0U);
}

TEST(PeekMeasureSet, IndexFaultLeavesTheRegisterUnchanged) {
  const Register reg = bell_pair();
  const Register before = reg;
  SeededSource dice(2);
  EXPECT_EQ(fault_message([&] {
              peek_measure_set(reg, {0, 2, 1}, dice);
            }),
            "index out of bounds: the len is 2 but the index is 2");
  EXPECT_EQ(fault_message([&] { peek_measure_set(reg, {5}, dice); }),
            "index out of bounds: the len is 2 but the index is 5");
  EXPECT_TRUE(same_representation(reg, before));
}

// Expectation of the Pauli `axis` on q: +1 or -1 when q is certain on that axis.
double expectation(const StateVector& state, Qubit q, Axis axis) {
  return 1.0 - 2.0 * state.probability(q, axis, true);
}

// The axis on which q is certain, if its reduced state is pure (q unentangled); none otherwise.
std::optional<Axis> certain_axis(const StateVector& state, Qubit q) {
  for (const Axis axis : all_axes)
    if (std::abs(std::abs(expectation(state, q, axis)) - 1.0) < 1e-9) return axis;
  return std::nullopt;
}

// Random circuit on n qubits from the gate family.
Register random_circuit_register(SeededSource& dice, std::size_t n, Storage storage) {
  Register reg(n, storage);
  for (int step = 0; step < 3 * static_cast<int>(n); ++step) {
    const Qubit a = dice.below(n);
    if (n > 1 && dice.below(2) == 0) {
      const engine::ControlledPauli gate = testing::controlled_gates()[dice.below(9)].gate;
      apply_controlled_pauli(reg, gate, a, (a + 1 + dice.below(n - 1)) % n);
    } else {
      reg.apply_clifford(a, static_cast<Vop>(dice.below(clifford::vop_count)));
    }
  }
  return reg;
}

// Replays a peek with the reference: each qubit, in the peek's order, must be measured on its
// certain axis with the certain result when the state vector says it is unentangled, on the
// axis the same words choose otherwise, and the outcome must be possible.
TEST(PeekMeasureSet, MatchesASequenceOfRealMeasurements) {
  SeededSource circuits(31);
  for (int trial = 0; trial < 300; ++trial) {
    const std::size_t n = 1 + circuits.below(6);
    const Register reg = random_circuit_register(circuits, n, testing::both_storages[trial % 2]);
    const Register before = reg;
    std::vector<Qubit> qubits;
    for (Qubit q = 0; q < n; ++q)
      if (circuits.below(4) != 0) qubits.push_back(q);
    for (std::size_t i = qubits.size(); i > 1; --i)
      std::swap(qubits[i - 1], qubits[circuits.below(i)]);

    const std::uint64_t seed = circuits.next_u32();
    SeededSource peek_source(seed);
    const std::vector<TrialOutcome> outcomes = peek_measure_set(reg, qubits, peek_source);
    ASSERT_TRUE(same_representation(reg, before)) << describe(reg);
    ASSERT_EQ(outcomes.size(), qubits.size());

    SeededSource replay_source(seed);
    Register copy = reg;
    StateVector state = StateVector::from_register(reg);
    for (std::size_t i = 0; i < qubits.size(); ++i) {
      const Qubit q = qubits[i];
      const TrialOutcome& outcome = outcomes[i];
      EXPECT_EQ(outcome.qubit, q);
      const std::optional<Axis> certain = certain_axis(state, q);
      const Axis axis = certain ? *certain : uniform_axis(replay_source);
      EXPECT_EQ(outcome.axis, axis) << "qubit " << q << " in " << describe(before);
      const bool result = measure(copy, q, axis, replay_source);
      EXPECT_EQ(outcome.result, result) << "qubit " << q << " in " << describe(before);
      if (certain) {
        EXPECT_EQ(result, expectation(state, q, axis) < 0) << "qubit " << q;
      }
      ASSERT_GT(state.probability(q, outcome.axis, outcome.result), 1e-9);
      state.project(q, outcome.axis, outcome.result);
    }
    EXPECT_EQ(peek_source.draws(), replay_source.draws());
  }
}

}  // namespace
}  // namespace korvane::engine
