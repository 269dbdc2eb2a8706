#include "engine/controlled_gates.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "clifford/cz_table.h"
#include "clifford/local_clifford.h"
#include "engine/fault.h"
#include "engine/local_complement.h"
#include "fault_message.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using korvane::testing::fault_message;

using List = std::vector<Qubit>;
using testing::describe;
using testing::invariant_violation;
using testing::same_representation;
using testing::StateVector;

constexpr std::array<ControlledGate, 9> all_gates{
    ControlledGate::cz,  ControlledGate::cx,  ControlledGate::cy,
    ControlledGate::xcx, ControlledGate::xcy, ControlledGate::xcz,
    ControlledGate::ycx, ControlledGate::ycy, ControlledGate::ycz};

std::string name_of(ControlledGate gate) {
  static const std::array<const char*, 9> names{"cz",  "cx",  "cy",  "xcx", "xcy",
                                                "xcz", "ycx", "ycy", "ycz"};
  return names[static_cast<std::size_t>(gate)];
}

std::string index_fault(std::size_t len, std::size_t index) {
  return "index out of bounds: the len is " + std::to_string(len) + " but the index is " +
         std::to_string(index);
}

Register random_register(std::mt19937& rng, std::size_t n) {
  Register reg(n);
  std::bernoulli_distribution edge(0.5);
  std::uniform_int_distribution<int> vop(0, 23);
  for (Qubit a = 0; a < n; ++a)
    for (Qubit b = a + 1; b < n; ++b)
      if (edge(rng)) reg.add_edge(b, a);
  for (Qubit q = 0; q < n; ++q) reg.node(q).vop = static_cast<Vop>(vop(rng));
  return reg;
}

TEST(ControlledZ, FreshPairIsUnchanged) {
  Register reg(2);
  cz(reg, 0, 1);
  EXPECT_TRUE(reg.node(0).neighbors.empty());
  EXPECT_TRUE(reg.node(1).neighbors.empty());
  EXPECT_EQ(reg.node(0).vop, clifford::hadamard);
  EXPECT_EQ(reg.node(1).vop, clifford::hadamard);
}

TEST(ControlledZ, PlusPairGetsAnEdgeThenKeepsIt) {
  Register reg(2);
  reg.apply_clifford(0, clifford::hadamard);
  reg.apply_clifford(1, clifford::hadamard);
  cz(reg, 0, 1);
  EXPECT_EQ(reg.node(0).neighbors, (List{1}));
  EXPECT_EQ(reg.node(1).neighbors, (List{0}));
  EXPECT_EQ(reg.node(0).vop, 0);
  EXPECT_EQ(reg.node(1).vop, 0);

  // Table entry (1, 10, 0) is (1, 20, 6): the edge stays, listed once on each side.
  reg.apply_clifford(0, clifford::hadamard);
  cz(reg, 0, 1);
  EXPECT_EQ(reg.node(0).neighbors, (List{1}));
  EXPECT_EQ(reg.node(1).neighbors, (List{0}));
  EXPECT_EQ(reg.node(0).vop, 20);
  EXPECT_EQ(reg.node(1).vop, 6);
}

TEST(ControlledZ, DiagonalPairWithoutOtherNeighboursTogglesTheEdge) {
  const std::array<Vop, 4> diagonal{0, 3, 5, 6};
  for (const bool edge : {false, true}) {
    for (const Vop a : diagonal) {
      for (const Vop b : diagonal) {
        Register reg(3);
        if (edge) reg.add_edge(0, 2);
        reg.node(0).vop = a;
        reg.node(2).vop = b;
        const Register before = reg;
        cz(reg, 0, 2);
        EXPECT_EQ(reg.has_edge(0, 2), !edge);
        EXPECT_EQ(reg.node(0).vop, a);
        EXPECT_EQ(reg.node(2).vop, b);
        cz(reg, 0, 2);
        EXPECT_TRUE(same_representation(reg, before)) << describe(reg);
      }
    }
  }
}

TEST(ControlledZ, PairJoinedOnlyToEachOtherReadsTheTableDirectly) {
  for (const bool edge : {false, true}) {
    for (Vop a = 0; a < clifford::vop_count; ++a) {
      for (Vop b = 0; b < clifford::vop_count; ++b) {
        Register reg(2);
        if (edge) reg.add_edge(1, 0);
        reg.node(0).vop = a;
        reg.node(1).vop = b;
        const StateVector expected = [&] {
          StateVector state = StateVector::from_register(reg);
          state.cz(0, 1);
          return state;
        }();
        cz(reg, 0, 1);
        const clifford::CzEntry entry = clifford::cz_lookup(edge, a, b);
        EXPECT_EQ(reg.node(0).neighbors, entry.edge ? List{1} : List{});
        EXPECT_EQ(reg.node(1).neighbors, entry.edge ? List{0} : List{});
        EXPECT_EQ(reg.node(0).vop, entry.first);
        EXPECT_EQ(reg.node(1).vop, entry.second);
        EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected))
            << "e " << edge << " a " << int{a} << " b " << int{b};
      }
    }
  }
}

TEST(ControlledZ, OperandWithOtherNeighboursIsReducedEvenAtIdentity) {
  Register reg(5);
  reg.add_edge(2, 3);
  reg.add_edge(2, 4);
  reg.add_edge(0, 2);
  reg.add_edge(0, 3);
  for (Qubit q = 0; q < 5; ++q) reg.node(q).vop = clifford::identity;
  StateVector expected = StateVector::from_register(reg);
  expected.cz(0, 1);

  cz(reg, 0, 1);
  // Four complementations at 0 toggled (2, 3) four times, moving it to the ends of both lists.
  EXPECT_EQ(reg.node(0).neighbors, (List{2, 3, 1}));
  EXPECT_EQ(reg.node(1).neighbors, (List{0}));
  EXPECT_EQ(reg.node(2).neighbors, (List{4, 0, 3}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0, 2}));
  EXPECT_EQ(reg.node(4).neighbors, (List{2}));
  for (Qubit q = 0; q < 5; ++q) EXPECT_EQ(reg.node(q).vop, clifford::identity);
  EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected));
}

TEST(ControlledZ, OperandOrderChangesTheRepresentationNotTheState) {
  Register first(2);
  first.node(0).vop = 0;
  first.node(1).vop = 2;
  Register second = first;
  cz(first, 0, 1);   // entry (0, 0, 2) = (1, 0, 3)
  cz(second, 1, 0);  // entry (0, 2, 0) = (1, 2, 3)
  EXPECT_EQ(first.node(0).vop, 0);
  EXPECT_EQ(first.node(1).vop, 3);
  EXPECT_EQ(second.node(1).vop, 2);
  EXPECT_EQ(second.node(0).vop, 3);
  EXPECT_EQ(first.node(0).neighbors, (List{1}));
  EXPECT_EQ(second.node(0).neighbors, (List{1}));
  EXPECT_TRUE(
      StateVector::from_register(first).equal_up_to_phase(StateVector::from_register(second)));

  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = 2 + round % 5;
    Register forward = random_register(rng, n);
    Register backward = forward;
    const Qubit a = std::uniform_int_distribution<Qubit>(0, n - 1)(rng);
    const Qubit b = (a + 1 + std::uniform_int_distribution<Qubit>(0, n - 2)(rng)) % n;
    cz(forward, a, b);
    cz(backward, b, a);
    ASSERT_TRUE(StateVector::from_register(forward).equal_up_to_phase(
        StateVector::from_register(backward)));
  }
}

// Steps 1-8 of the core, transcribed with the register primitives and the VOP reduction.
void transcribed_cz(Register& reg, Qubit a, Qubit b) {
  if (reg.has_other_neighbor(a, b)) remove_vop(reg, a, b);
  if (reg.has_other_neighbor(b, a)) remove_vop(reg, b, a);
  if (reg.has_other_neighbor(a, b) && !clifford::is_diagonal(reg.node(a).vop))
    remove_vop(reg, a, b);
  const bool edge = reg.has_edge(a, b);
  const auto entry = clifford::cz_lookup(edge, reg.node(a).vop, reg.node(b).vop);
  if (entry.edge == 1 && !edge) reg.add_edge(a, b);
  if (entry.edge == 0) reg.remove_edge(a, b);
  reg.node(a).vop = entry.first;
  reg.node(b).vop = entry.second;
}

TEST(ControlledZ, SecondReductionSeesTheRegisterTheFirstLeft) {
  // Reducing 0 (VOP 15: one complementation at 0) joins 1 to 2, so 1 must then be reduced too.
  Register reg(3);
  reg.add_edge(0, 1);
  reg.add_edge(0, 2);
  reg.node(0).vop = 15;
  reg.node(1).vop = clifford::hadamard;
  Register after_first = reg;
  remove_vop(after_first, 0, 1);
  ASSERT_EQ(after_first.node(1).neighbors, (List{0, 2}));
  Register expected = reg;
  transcribed_cz(expected, 0, 1);
  StateVector state = StateVector::from_register(reg);
  state.cz(0, 1);
  cz(reg, 0, 1);
  EXPECT_TRUE(same_representation(reg, expected)) << describe(reg) << " vs " << describe(expected);
  EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(state));
}

TEST(ControlledZ, FollowsTheSpecStepsExactly) {
  std::mt19937 rng(11);
  for (int round = 0; round < 400; ++round) {
    const std::size_t n = 2 + round % 6;
    Register reg = random_register(rng, n);
    const Qubit a = std::uniform_int_distribution<Qubit>(0, n - 1)(rng);
    const Qubit b = (a + 1 + std::uniform_int_distribution<Qubit>(0, n - 2)(rng)) % n;
    Register expected = reg;
    transcribed_cz(expected, a, b);
    cz(reg, a, b);
    ASSERT_TRUE(same_representation(reg, expected))
        << describe(reg) << " vs " << describe(expected);
  }
}

// The method table, transcribed: Before, Core (with its operand order), After.
void transcribed_method(Register& reg, ControlledGate gate, Qubit c, Qubit t) {
  constexpr Vop h = clifford::hadamard;
  constexpr Vop s = clifford::s_gate;
  constexpr Vop sdag = clifford::s_dagger;
  const auto g = [&reg](Qubit q, Vop row) { reg.apply_clifford(q, row); };
  switch (gate) {
    case ControlledGate::cz:
      transcribed_cz(reg, c, t);
      break;
    case ControlledGate::cx:
      g(t, h);
      transcribed_cz(reg, c, t);
      g(t, h);
      break;
    case ControlledGate::cy:
      g(t, sdag);
      g(t, h);
      transcribed_cz(reg, c, t);
      g(t, h);
      g(t, s);
      break;
    case ControlledGate::xcx:
      g(c, h);
      g(t, h);
      transcribed_cz(reg, c, t);
      g(t, h);
      g(c, h);
      break;
    case ControlledGate::xcy:
      g(t, sdag);
      g(t, h);
      g(c, h);
      transcribed_cz(reg, t, c);
      g(c, h);
      g(t, h);
      g(t, s);
      break;
    case ControlledGate::xcz:
      g(c, h);
      transcribed_cz(reg, t, c);
      g(c, h);
      break;
    case ControlledGate::ycx:
      g(c, sdag);
      g(c, h);
      g(t, h);
      transcribed_cz(reg, c, t);
      g(t, h);
      g(c, h);
      g(c, s);
      break;
    case ControlledGate::ycy:
      g(t, sdag);
      g(c, sdag);
      g(c, h);
      g(t, h);
      transcribed_cz(reg, c, t);
      g(t, h);
      g(c, h);
      g(c, s);
      g(t, s);
      break;
    case ControlledGate::ycz:
      g(c, sdag);
      g(c, h);
      transcribed_cz(reg, t, c);
      g(c, h);
      g(c, s);
      break;
  }
}

TEST(ControlledGates, EveryMethodFollowsItsTableRow) {
  std::mt19937 rng(13);
  for (int round = 0; round < 60; ++round) {
    const std::size_t n = 2 + round % 5;
    const Register start = random_register(rng, n);
    const Qubit c = std::uniform_int_distribution<Qubit>(0, n - 1)(rng);
    const Qubit t = (c + 1 + std::uniform_int_distribution<Qubit>(0, n - 2)(rng)) % n;
    for (const ControlledGate gate : all_gates) {
      Register reg = start;
      Register expected = start;
      apply_controlled_gate(reg, gate, c, t);
      transcribed_method(expected, gate, c, t);
      ASSERT_TRUE(same_representation(reg, expected))
          << name_of(gate) << " (" << c << ", " << t << ") on " << describe(start);
    }
  }
}

TEST(ControlledGates, XThenCnotGivesOneOne) {
  Register reg(2);
  reg.apply_clifford(0, clifford::pauli_x);
  apply_controlled_gate(reg, ControlledGate::cx, 0, 1);
  EXPECT_TRUE(reg.node(0).neighbors.empty());
  EXPECT_TRUE(reg.node(1).neighbors.empty());
  EXPECT_EQ(reg.node(0).vop, 8);
  EXPECT_EQ(reg.node(1).vop, 9);
  StateVector one_one(2);
  one_one.apply(0, testing::pauli_x_matrix);
  one_one.apply(1, testing::pauli_x_matrix);
  EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(one_one));
}

TEST(ControlledGates, EveryMethodAppliesItsGate) {
  std::mt19937 rng(5);
  for (int round = 0; round < 12; ++round) {
    const std::size_t n = 2 + round % 4;
    const Register start = random_register(rng, n);
    const StateVector start_state = StateVector::from_register(start);
    for (const ControlledGate gate : all_gates) {
      for (Qubit c = 0; c < n; ++c) {
        for (Qubit t = 0; t < n; ++t) {
          if (c == t) continue;
          Register reg = start;
          apply_controlled_gate(reg, gate, c, t);
          StateVector expected = start_state;
          expected.controlled(gate, c, t);
          ASSERT_EQ(invariant_violation(reg), "") << name_of(gate);
          ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected))
              << name_of(gate) << " (" << c << ", " << t << ") on " << describe(start);
        }
      }
    }
  }
}

TEST(ControlledGates, BadIndexLeavesTheRegisterUnchanged) {
  Register reg(3);
  reg.apply_clifford(0, clifford::hadamard);
  reg.apply_clifford(1, clifford::hadamard);
  cz(reg, 0, 1);
  reg.apply_clifford(2, clifford::s_gate);
  const Register before = reg;
  for (const ControlledGate gate : all_gates) {
    const bool target_first = gate == ControlledGate::cx || gate == ControlledGate::cy ||
                              gate == ControlledGate::xcy || gate == ControlledGate::ycy;
    const std::string name = name_of(gate);
    EXPECT_EQ(fault_message([&] { apply_controlled_gate(reg, gate, 3, 0); }), index_fault(3, 3))
        << name;
    EXPECT_EQ(fault_message([&] { apply_controlled_gate(reg, gate, 1, 5); }), index_fault(3, 5))
        << name;
    EXPECT_EQ(fault_message([&] { apply_controlled_gate(reg, gate, 7, 9); }),
              index_fault(3, target_first ? 9 : 7))
        << name;
    EXPECT_EQ(fault_message([&] { apply_controlled_gate(reg, gate, 4, 4); }), index_fault(3, 4))
        << name;
    EXPECT_TRUE(same_representation(reg, before)) << name << ": " << describe(reg);
  }
  EXPECT_EQ(fault_message([&] { cz(reg, 8, 6); }), index_fault(3, 8));
  EXPECT_EQ(fault_message([&] { cz(reg, 0, 6); }), index_fault(3, 6));
  EXPECT_TRUE(same_representation(reg, before));
}

TEST(ControlledGates, ControlEqualToTargetIsRefused) {
  Register reg(2);
  reg.apply_clifford(0, clifford::hadamard);
  reg.apply_clifford(1, clifford::hadamard);
  cz(reg, 0, 1);
  const Register before = reg;
  for (const ControlledGate gate : all_gates) {
    for (Qubit q = 0; q < 2; ++q) {
      EXPECT_EQ(fault_message([&] { apply_controlled_gate(reg, gate, q, q); }),
                "control and target must be different qubits")
          << name_of(gate);
    }
  }
  EXPECT_EQ(fault_message([&] { cz(reg, 1, 1); }), "control and target must be different qubits");
  EXPECT_TRUE(same_representation(reg, before)) << describe(reg);
}

}  // namespace
}  // namespace korvane::engine
