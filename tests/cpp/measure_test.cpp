// Single-qubit measurement, checked against the exact state-vector reference: outcomes must be
// possible, certain outcomes drawn without randomness, and the register must afterwards stand
// for the normalised projection of the state before.
#include "engine/measure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "clifford/local_clifford.h"
#include "engine/controlled_gates.h"
#include "engine/fault.h"
#include "fault_message.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using korvane::testing::fault_message;

using clifford::Axis;
using testing::describe;
using testing::invariant_violation;
using testing::same_representation;
using testing::ScriptedSource;
using testing::SeededSource;
using testing::StateVector;
using testing::word_with_top_bit_clear;
using testing::word_with_top_bit_set;

constexpr std::array<Axis, 3> all_axes{Axis::X, Axis::Y, Axis::Z};

ScriptedSource forcing(bool r) {
  return ScriptedSource({r ? word_with_top_bit_set : word_with_top_bit_clear});
}

Register plus_states(std::size_t n) {
  Register reg(n);
  for (Qubit q = 0; q < n; ++q) reg.apply_clifford(q, clifford::hadamard);
  return reg;
}

TEST(Measure, CertainOutcomesOfLoneQubitsDrawNothing) {
  Register reg(2);
  ScriptedSource source = forcing(true);
  const Register before = reg;
  EXPECT_FALSE(measure(reg, 0, Axis::Z, source));
  EXPECT_TRUE(same_representation(reg, before));

  reg.apply_clifford(1, clifford::pauli_x);
  EXPECT_TRUE(measure(reg, 1, Axis::Z, source));

  reg.apply_clifford(0, clifford::hadamard);
  EXPECT_FALSE(measure(reg, 0, Axis::X, source));
  EXPECT_EQ(source.draws(), 0U);
}

TEST(Measure, RandomOutcomeOnLoneQubitIsRepeatable) {
  for (const bool r : {false, true}) {
    Register reg(1);
    ScriptedSource source = forcing(r);
    // X through H is Z on the graph: random, decided by the top bit of one word.
    const bool first = measure(reg, 0, Axis::X, source);
    EXPECT_EQ(first, r);
    EXPECT_EQ(source.draws(), 1U);
    ScriptedSource other = forcing(!r);
    EXPECT_EQ(measure(reg, 0, Axis::X, other), first);
    EXPECT_EQ(other.draws(), 0U);
  }
}

TEST(Measure, StarCollapsesAndLeavesLeavesCertain) {
  for (const bool r : {false, true}) {
    Register reg = plus_states(3);
    cz(reg, 0, 1);
    cz(reg, 0, 2);
    ScriptedSource source = forcing(r);
    const bool centre = measure(reg, 0, Axis::Z, source);
    EXPECT_EQ(source.draws(), 1U);
    for (Qubit q = 0; q < 3; ++q) EXPECT_TRUE(reg.node(q).neighbors.empty()) << describe(reg);
    EXPECT_EQ(measure(reg, 1, Axis::X, source), centre);
    EXPECT_EQ(measure(reg, 2, Axis::X, source), centre);
    EXPECT_EQ(source.draws(), 1U);
  }
}

TEST(Measure, PairUnderTheXRule) {
  struct Expected {
    bool r;
    Vop measured;
    Vop partner;
  };
  for (const Expected expected : {Expected{false, 0, 11}, Expected{true, 3, 9}}) {
    Register reg = plus_states(2);
    cz(reg, 0, 1);
    ASSERT_EQ(reg.node(0).vop, clifford::identity);
    ASSERT_EQ(reg.node(1).vop, clifford::identity);
    ScriptedSource source = forcing(expected.r);
    EXPECT_EQ(measure(reg, 0, Axis::X, source), expected.r);
    EXPECT_TRUE(reg.node(0).neighbors.empty());
    EXPECT_TRUE(reg.node(1).neighbors.empty());
    EXPECT_EQ(reg.node(0).vop, expected.measured);
    EXPECT_EQ(reg.node(1).vop, expected.partner);
  }
}

// Star at 0 whose list holds `first` before `second`; all VOPs the identity.
Register star_listing(Qubit first, Qubit second) {
  Register reg = plus_states(3);
  reg.add_edge(0, first);
  reg.add_edge(0, second);
  return reg;
}

TEST(Measure, XRuleTakesTheFirstListEntry) {
  Register later_first = star_listing(2, 1);
  Register smaller_first = star_listing(1, 2);
  const StateVector before = StateVector::from_register(later_first);
  ASSERT_TRUE(before.equal_up_to_phase(StateVector::from_register(smaller_first)));

  ScriptedSource source = forcing(false);
  ASSERT_FALSE(measure(later_first, 0, Axis::X, source));
  ASSERT_FALSE(measure(smaller_first, 0, Axis::X, source));
  // The special neighbour gets the factor 11, the other former neighbour Z.
  EXPECT_EQ(later_first.node(2).vop, clifford::plus_sqrt_iy);
  EXPECT_EQ(later_first.node(1).vop, clifford::pauli_z);
  EXPECT_EQ(smaller_first.node(1).vop, clifford::plus_sqrt_iy);
  EXPECT_EQ(smaller_first.node(2).vop, clifford::pauli_z);

  StateVector projected = before;
  projected.project(0, Axis::X, false);
  EXPECT_TRUE(projected.equal_up_to_phase(StateVector::from_register(later_first)));
  EXPECT_TRUE(projected.equal_up_to_phase(StateVector::from_register(smaller_first)));
}

TEST(Measure, IndexFaultsLeaveTheRegisterUnchanged) {
  Register reg = plus_states(3);
  cz(reg, 0, 1);
  const Register before = reg;
  ScriptedSource source = forcing(false);
  for (const Axis axis : all_axes) {
    EXPECT_EQ(fault_message([&] { measure(reg, 3, axis, source); }),
              "index out of bounds: the len is 3 but the index is 3");
  }
  EXPECT_EQ(fault_message([&] { measure(reg, 99, Axis::Z, source); }),
            "index out of bounds: the len is 3 but the index is 99");
  EXPECT_TRUE(same_representation(reg, before));
  EXPECT_EQ(source.draws(), 0U);

  Register empty(0);
  EXPECT_EQ(fault_message([&] { measure(empty, 0, Axis::Z, source); }),
            "index out of bounds: the len is 0 but the index is 0");
}

TEST(Measure, CorruptListEntryStopsBeforeAnyChange) {
  for (const Axis axis : all_axes) {
    Register reg = plus_states(3);
    cz(reg, 0, 1);
    cz(reg, 1, 2);
    // A stray entry beyond the register: the graph rules must refuse it, not follow it.
    reg.node(0).neighbors.push_back(7);
    const Register before = reg;
    ScriptedSource source = forcing(true);
    EXPECT_EQ(fault_message([&] { measure(reg, 0, axis, source); }),
              "index out of bounds: the len is 3 but the index is 7");
    EXPECT_TRUE(same_representation(reg, before)) << describe(reg);
  }
  // The special neighbour's list is read by the X rule as well.
  Register reg = plus_states(3);
  cz(reg, 0, 1);
  reg.node(1).neighbors.push_back(5);
  const Register before = reg;
  ScriptedSource source = forcing(false);
  EXPECT_EQ(fault_message([&] { measure(reg, 0, Axis::X, source); }),
            "index out of bounds: the len is 3 but the index is 5");
  EXPECT_TRUE(same_representation(reg, before));
}

constexpr std::array<ControlledGate, 9> all_controlled_gates{
    ControlledGate::cz,  ControlledGate::cx,  ControlledGate::cy,
    ControlledGate::xcx, ControlledGate::xcy, ControlledGate::xcz,
    ControlledGate::ycx, ControlledGate::ycy, ControlledGate::ycz};

// A random single- or two-qubit gate on both the register and the reference.
void random_gate(SeededSource& dice, Register& reg, StateVector& reference) {
  const std::size_t n = reg.size();
  if (n < 2 || dice.below(3) == 0) {
    const Qubit q = dice.below(n);
    const auto gate = static_cast<Vop>(dice.below(clifford::vop_count));
    reg.apply_clifford(q, gate);
    reference.apply_vop(q, gate);
    return;
  }
  const Qubit control = dice.below(n);
  const Qubit target = (control + 1 + dice.below(n - 1)) % n;
  const ControlledGate gate = all_controlled_gates[dice.below(all_controlled_gates.size())];
  apply_controlled_gate(reg, gate, control, target);
  reference.controlled(gate, control, target);
}

// Measures (q, axis) on copies forced to r = 0 and r = 1, checks both against the reference and
// returns the register after the outcome chosen by `pick`.
Register checked_measurement(const Register& reg, const StateVector& state, Qubit q, Axis axis,
                             bool pick, StateVector& state_after) {
  const std::string context = "qubit " + std::to_string(q) + " axis " +
                              std::to_string(static_cast<int>(axis)) + " in " + describe(reg);
  const double p_minus = state.probability(q, axis, true);
  const bool certain = std::abs(p_minus) < 1e-9 || std::abs(p_minus - 1.0) < 1e-9;
  if (!certain) {
    EXPECT_NEAR(p_minus, 0.5, 1e-9) << context;
  }

  std::array<Register, 2> after{reg, reg};
  std::array<bool, 2> results{};
  for (const bool r : {false, true}) {
    ScriptedSource source = forcing(r);
    results[r] = measure(after[r], q, axis, source);
    const double p_result = state.probability(q, axis, results[r]);
    EXPECT_GT(p_result, 1e-9) << "impossible outcome, r=" << r << ", " << context;
    EXPECT_EQ(source.draws(), certain ? 0U : 1U) << context;
    EXPECT_EQ(invariant_violation(after[r]), "") << context;
    if (certain) {
      EXPECT_TRUE(same_representation(after[r], reg)) << context;
    } else {
      EXPECT_TRUE(after[r].node(q).neighbors.empty()) << describe(after[r]);
    }
    if (p_result > 1e-9) {
      StateVector projected = state;
      projected.project(q, axis, results[r]);
      EXPECT_TRUE(projected.equal_up_to_phase(StateVector::from_register(after[r])))
          << "r=" << r << ", after: " << describe(after[r]) << ", " << context;
    }
  }
  if (!certain) {
    EXPECT_NE(results[0], results[1]) << "both draws gave one outcome, " << context;
  }

  // Measuring the same axis again is certain and repeats the outcome.
  ScriptedSource again = forcing(!pick);
  EXPECT_EQ(measure(after[pick], q, axis, again), results[pick]) << context;
  EXPECT_EQ(again.draws(), 0U) << context;

  state_after = state;
  state_after.project(q, axis, results[pick]);
  return after[pick];
}

TEST(Measure, RandomCircuitsMatchTheStateVector) {
  SeededSource dice(20240611);
  for (int circuit = 0; circuit < 300; ++circuit) {
    const std::size_t n = 1 + dice.below(6);
    Register reg(n);
    StateVector state(n);
    for (int step = 0; step < 24; ++step) {
      if (dice.below(4) != 0) {
        random_gate(dice, reg, state);
        ASSERT_EQ(invariant_violation(reg), "");
        continue;
      }
      const Qubit q = dice.below(n);
      const Axis axis = all_axes[dice.below(3)];
      StateVector state_after(n);
      reg = checked_measurement(reg, state, q, axis, dice.below(2) == 1, state_after);
      state = state_after;
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// Every qubit of dense random graphs (triangles, common neighbours, unsorted lists) under every
// axis and every VOP of the measured qubit.
TEST(Measure, DenseGraphsUnderEveryAxisAndVop) {
  SeededSource dice(77);
  for (int graph = 0; graph < 40; ++graph) {
    const std::size_t n = 3 + dice.below(3);
    std::vector<std::pair<Qubit, Qubit>> edges;
    for (Qubit a = 0; a < n; ++a)
      for (Qubit b = a + 1; b < n; ++b)
        if (dice.below(3) != 0) edges.emplace_back(a, b);
    for (std::size_t i = edges.size(); i > 1; --i) std::swap(edges[i - 1], edges[dice.below(i)]);
    Register reg = plus_states(n);
    for (const auto& [a, b] : edges) {
      if (dice.below(2) == 0) {
        reg.add_edge(a, b);
      } else {
        reg.add_edge(b, a);
      }
    }
    for (Qubit q = 0; q < n; ++q) {
      for (Vop vop = 0; vop < clifford::vop_count; ++vop) {
        Register with_vop = reg;
        with_vop.node(q).vop = vop;
        const StateVector state = StateVector::from_register(with_vop);
        for (const Axis axis : all_axes) {
          StateVector state_after(n);
          checked_measurement(with_vop, state, q, axis, false, state_after);
        }
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace korvane::engine
