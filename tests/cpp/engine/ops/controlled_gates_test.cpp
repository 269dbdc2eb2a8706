#include "korvane/engine/ops/controlled_gates.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "edge_toggles.h"
#include "fault_message.h"
#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using korvane::testing::fault_message;

using testing::describe;
using testing::invariant_violation;
using testing::same_representation;
using testing::StateVector;

using testing::controlled_gate;
using testing::controlled_gates;
using testing::NamedControlledPauli;

std::string index_fault(std::size_t len, std::size_t index) {
  return "index out of bounds: the len is " + std::to_string(len) + " but the index is " +
         std::to_string(index);
}

TEST(ControlledZ, FreshPairIsUnchanged) {
  Register reg(2);
  cz(reg, 0, 1);
  EXPECT_EQ(reg.edge_count(), 0U);
  EXPECT_EQ(reg.vop(0), clifford::hadamard);
  EXPECT_EQ(reg.vop(1), clifford::hadamard);
}

// Operands 0 and 1 in neighbourhoods that reach every rule: alone or joined (the table), an
// isolated operand in a Z eigenstate, a leaf on the other, other neighbours on one or both
// sides, shared neighbours. Every pair of VOPs on the operands, random VOPs elsewhere, both
// storages and both operand orders; the state must be CZ applied to the state before.
TEST(ControlledZ, EveryRuleOnEveryVopPair) {
  using Edges = std::vector<std::pair<Qubit, Qubit>>;
  const std::vector<Edges> shapes{
      {},
      {{0, 1}},
      {{1, 2}},
      {{0, 1}, {1, 2}},
      {{0, 2}, {1, 3}},
      {{0, 1}, {0, 2}, {1, 3}, {3, 4}},
      {{0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 4}},
      {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2}, {2, 3}},
  };
  testing::SeededSource random(11);
  for (const Storage storage : testing::both_storages) {
    for (const Edges& shape : shapes) {
      for (Vop a = 0; a < clifford::vop_count; ++a) {
        for (Vop b = 0; b < clifford::vop_count; ++b) {
          Register start(5, storage);
          for (const auto& [x, y] : shape) testing::toggle_edge(start, x, y);
          for (Qubit q = 2; q < 5; ++q)
            start.set_vop(q, static_cast<Vop>(random.below(clifford::vop_count)));
          start.set_vop(0, a);
          start.set_vop(1, b);
          for (const bool swapped : {false, true}) {
            Register reg = start;
            StateVector expected = StateVector::from_register(start);
            expected.cz(0, 1);
            cz(reg, swapped ? 1 : 0, swapped ? 0 : 1);
            ASSERT_EQ(invariant_violation(reg), "");
            ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected))
                << "vops " << int{a} << ", " << int{b} << (swapped ? " swapped" : "") << " on "
                << describe(start) << " gave " << describe(reg);
          }
        }
      }
    }
  }
}

// A GHZ state built by a CNOT chain or a CNOT star stays a star: each gate adds one edge.
TEST(ControlledZ, GhzBuildsKeepOneEdgePerQubit) {
  constexpr std::size_t n = 300;
  for (const bool chain : {true, false}) {
    Register reg(n);
    reg.apply_clifford(0, clifford::hadamard);
    for (Qubit q = 1; q < n; ++q) {
      apply_controlled_pauli(reg, controlled_gate("CX"), chain ? q - 1 : 0, q);
      ASSERT_EQ(reg.edge_count(), q);
    }
  }
}

TEST(ControlledGates, XThenCnotGivesOneOne) {
  Register reg(2);
  reg.apply_clifford(0, clifford::pauli_x);
  apply_controlled_pauli(reg, controlled_gate("CX"), 0, 1);
  EXPECT_EQ(reg.edge_count(), 0U);
  StateVector one_one(2);
  one_one.apply(0, testing::pauli_x_matrix);
  one_one.apply(1, testing::pauli_x_matrix);
  EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(one_one));
}

TEST(ControlledGates, EveryMethodAppliesItsGate) {
  testing::SeededSource random(5);
  for (int round = 0; round < 24; ++round) {
    const std::size_t n = 2 + round % 4;
    const Register start =
        testing::random_register(random, n, 50, testing::both_storages[round % 2]);
    const StateVector start_state = StateVector::from_register(start);
    for (const auto& [name, gate] : controlled_gates()) {
      for (Qubit c = 0; c < n; ++c) {
        for (Qubit t = 0; t < n; ++t) {
          if (c == t) continue;
          Register reg = start;
          apply_controlled_pauli(reg, gate, c, t);
          StateVector expected = start_state;
          expected.controlled(gate, c, t);
          ASSERT_EQ(invariant_violation(reg), "") << name;
          ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected))
              << name << " (" << c << ", " << t << ") on " << describe(start);
        }
      }
    }
  }
}

// On a graph and on a tableau: the operands are checked before either way is taken.
TEST(ControlledGates, BadIndexLeavesTheRegisterUnchanged) {
  for (const Storage storage : {Storage::automatic, Storage::tableau}) {
    Register reg(3, storage);
    reg.apply_clifford(0, clifford::hadamard);
    reg.apply_clifford(1, clifford::hadamard);
    cz(reg, 0, 1);
    reg.apply_clifford(2, clifford::s_gate);
    const Register before = reg;
    for (const auto& [name, gate] : controlled_gates()) {
      reg.set_storage(storage);  // reading the graph below brings a tableau back
      // The index checked first is the one the gate's definition reaches first.
      const bool target_first = name == "CX" || name == "CY" || name == "XCY" || name == "YCY";
      EXPECT_EQ(fault_message([&] { apply_controlled_pauli(reg, gate, 3, 0); }), index_fault(3, 3))
          << name;
      EXPECT_EQ(fault_message([&] { apply_controlled_pauli(reg, gate, 1, 5); }), index_fault(3, 5))
          << name;
      EXPECT_EQ(fault_message([&] { apply_controlled_pauli(reg, gate, 7, 9); }),
                index_fault(3, target_first ? 9 : 7))
          << name;
      EXPECT_EQ(fault_message([&] { apply_controlled_pauli(reg, gate, 4, 4); }), index_fault(3, 4))
          << name;
      EXPECT_EQ(reg.holds_tableau(), storage == Storage::tableau) << name;
      EXPECT_TRUE(same_representation(reg, before)) << name << ": " << describe(reg);
    }
    EXPECT_EQ(fault_message([&] { cz(reg, 8, 6); }), index_fault(3, 8));
    EXPECT_EQ(fault_message([&] { cz(reg, 0, 6); }), index_fault(3, 6));
    EXPECT_TRUE(same_representation(reg, before));
  }
}

TEST(ControlledGates, ControlEqualToTargetIsRefused) {
  Register reg(2);
  reg.apply_clifford(0, clifford::hadamard);
  reg.apply_clifford(1, clifford::hadamard);
  cz(reg, 0, 1);
  const Register before = reg;
  for (const auto& [name, gate] : controlled_gates()) {
    for (Qubit q = 0; q < 2; ++q) {
      EXPECT_EQ(fault_message([&] { apply_controlled_pauli(reg, gate, q, q); }),
                "control and target must be different qubits")
          << name;
    }
  }
  EXPECT_EQ(fault_message([&] { cz(reg, 1, 1); }), "control and target must be different qubits");
  EXPECT_TRUE(same_representation(reg, before)) << describe(reg);
}

}  // namespace
}  // namespace korvane::engine
