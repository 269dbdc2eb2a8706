// Single-qubit measurement, checked against the exact state-vector reference: outcomes must be
// possible, certain outcomes drawn without randomness, and the register must afterwards stand
// for the normalised projection of the state before.
#include "korvane/engine/ops/measure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "edge_toggles.h"
#include "fault_message.h"
#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "random_graphs.h"
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
    EXPECT_EQ(reg.edge_count(), 0U) << describe(reg);
    EXPECT_EQ(measure(reg, 1, Axis::X, source), centre);
    EXPECT_EQ(measure(reg, 2, Axis::X, source), centre);
    EXPECT_EQ(source.draws(), 1U);
  }
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
  const engine::ControlledPauli gate =
      testing::controlled_gates()[dice.below(testing::controlled_gates().size())].gate;
  apply_controlled_pauli(reg, gate, control, target);
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
      EXPECT_EQ(after[r].degree(q), 0U) << describe(after[r]);
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
    Register reg(n, testing::both_storages[circuit % 2]);
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

// Every qubit of random graphs (triangles, common neighbours) under every axis and every VOP of
// the measured qubit, in both storages.
TEST(Measure, RandomGraphsUnderEveryAxisAndVop) {
  SeededSource dice(77);
  for (int graph = 0; graph < 40; ++graph) {
    const std::size_t n = 3 + dice.below(3);
    Register reg = testing::random_register(dice, n, 67, testing::both_storages[graph % 2]);
    for (Qubit q = 0; q < n; ++q) {
      for (Vop vop = 0; vop < clifford::vop_count; ++vop) {
        Register with_vop = reg;
        with_vop.set_vop(q, vop);
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

// X on a leaf takes a path of its own on sets, while the matrix classifies the pivot as for any
// vertex: under every VOP of the leaf and both outcomes, they must leave one graph and one VOP set.
TEST(Measure, LeafOnSetsMatchesTheGeneralPivot) {
  SeededSource dice(5);
  for (int graph = 0; graph < 30; ++graph) {
    const std::size_t n = 4 + dice.below(5);
    Register sparse = testing::random_register(dice, n, 40, Storage::sparse);
    const Qubit leaf = n - 1;
    for (Qubit q = 0; q < leaf; ++q)
      if (sparse.has_edge(leaf, q)) testing::toggle_edge(sparse, leaf, q);
    testing::toggle_edge(sparse, leaf, dice.below(leaf));
    for (Vop vop = 0; vop < clifford::vop_count; ++vop) {
      sparse.set_vop(leaf, vop);
      Register dense = sparse;
      dense.set_storage(Storage::dense);
      for (const bool r : {false, true}) {
        Register on_sets = sparse;
        Register on_matrix = dense;
        ScriptedSource sets_source = forcing(r);
        ScriptedSource matrix_source = forcing(r);
        EXPECT_EQ(measure(on_sets, leaf, Axis::X, sets_source),
                  measure(on_matrix, leaf, Axis::X, matrix_source));
        EXPECT_EQ(sets_source.draws(), matrix_source.draws());
        EXPECT_TRUE(same_representation(on_sets, on_matrix)) << describe(sparse);
      }
    }
  }
}

// The hub of a star of eleven leaves, measured on every axis under every VOP: a measurement whose
// graph axis is Y is made through a complementation about a leaf and the X rule when that is
// cheaper, which it is for the sparse storage here.
TEST(Measure, StarHubUnderEveryAxisAndVop) {
  SeededSource dice(12);
  for (const Storage storage : testing::both_storages) {
    Register star(12, storage);
    for (Qubit leaf = 1; leaf < 12; ++leaf) {
      testing::toggle_edge(star, 0, leaf);
      star.set_vop(leaf, static_cast<Vop>(dice.below(clifford::vop_count)));
    }
    for (Vop vop = 0; vop < clifford::vop_count; ++vop) {
      star.set_vop(0, vop);
      const StateVector state = StateVector::from_register(star);
      for (const Axis axis : all_axes) {
        StateVector state_after(12);
        checked_measurement(star, state, 0, axis, false, state_after);
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace korvane::engine
