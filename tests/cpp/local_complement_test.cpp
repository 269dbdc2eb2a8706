#include "engine/local_complement.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "clifford/local_clifford.h"
#include "engine/fault.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using clifford::product;
using List = std::vector<Qubit>;
using testing::describe;
using testing::invariant_violation;
using testing::same_representation;
using testing::StateVector;

// A register of n qubits with a random graph (edges added in a random order) and random VOPs.
Register random_register(std::mt19937& rng, std::size_t n, double edge_probability) {
  Register reg(n);
  std::vector<std::pair<Qubit, Qubit>> pairs;
  for (Qubit a = 0; a < n; ++a)
    for (Qubit b = a + 1; b < n; ++b) pairs.emplace_back(a, b);
  std::shuffle(pairs.begin(), pairs.end(), rng);
  std::bernoulli_distribution keep(edge_probability);
  std::bernoulli_distribution swap_operands(0.5);
  for (auto [a, b] : pairs) {
    if (!keep(rng)) continue;
    if (swap_operands(rng)) std::swap(a, b);
    reg.add_edge(a, b);
  }
  std::uniform_int_distribution<int> vop(0, 23);
  for (Qubit q = 0; q < n; ++q) reg.node(q).vop = static_cast<Vop>(vop(rng));
  return reg;
}

TEST(LocalComplement, StarGainsPairsInOrderAndVopsAreRightFactors) {
  Register reg(4);
  reg.add_edge(0, 1);
  reg.add_edge(0, 2);
  reg.add_edge(0, 3);
  const Vop vops[4] = {7, 12, 3, 19};
  for (Qubit q = 0; q < 4; ++q) reg.node(q).vop = vops[q];

  local_complement(reg, 0);
  EXPECT_EQ(reg.node(0).neighbors, (List{1, 2, 3}));
  EXPECT_EQ(reg.node(1).neighbors, (List{0, 2, 3}));
  EXPECT_EQ(reg.node(2).neighbors, (List{0, 1, 3}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0, 1, 2}));
  EXPECT_EQ(reg.node(0).vop, product(vops[0], clifford::plus_sqrt_ix));
  for (Qubit q = 1; q < 4; ++q) EXPECT_EQ(reg.node(q).vop, product(vops[q], clifford::s_gate));
}

TEST(LocalComplement, TwiceRestoresEdgesButMayReorderLists) {
  Register reg(4);
  reg.add_edge(1, 2);
  reg.add_edge(0, 1);
  reg.add_edge(0, 2);
  reg.add_edge(0, 3);
  ASSERT_EQ(reg.node(1).neighbors, (List{2, 0}));
  const Register before = reg;

  local_complement(reg, 0);
  EXPECT_EQ(reg.node(1).neighbors, (List{0, 3}));
  EXPECT_EQ(reg.node(2).neighbors, (List{0, 3}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0, 1, 2}));
  local_complement(reg, 0);
  EXPECT_EQ(reg.node(0).neighbors, (List{1, 2, 3}));
  EXPECT_EQ(reg.node(1).neighbors, (List{0, 2}));
  EXPECT_EQ(reg.node(2).neighbors, (List{0, 1}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0}));
  // S twice is Z and the vertex factor twice is X.
  EXPECT_EQ(reg.node(0).vop, product(before.node(0).vop, clifford::pauli_x));
  for (Qubit q = 1; q < 4; ++q)
    EXPECT_EQ(reg.node(q).vop, product(before.node(q).vop, clifford::pauli_z));
}

TEST(LocalComplement, FewNeighboursChangeOnlyVops) {
  Register reg(3);
  reg.add_edge(1, 2);
  const Register before = reg;
  local_complement(reg, 0);
  local_complement(reg, 1);
  EXPECT_EQ(reg.node(1).neighbors, before.node(1).neighbors);
  EXPECT_EQ(reg.node(2).neighbors, before.node(2).neighbors);
  EXPECT_TRUE(reg.node(0).neighbors.empty());
  EXPECT_EQ(reg.node(0).vop, product(clifford::hadamard, clifford::plus_sqrt_ix));
  EXPECT_EQ(reg.node(1).vop, product(clifford::hadamard, clifford::plus_sqrt_ix));
  EXPECT_EQ(reg.node(2).vop, product(clifford::hadamard, clifford::s_gate));
}

TEST(LocalComplement, BadIndexChangesNothing) {
  Register reg(2);
  reg.add_edge(0, 1);
  const Register before = reg;
  EXPECT_THROW(
      {
        try {
          local_complement(reg, 2);
        } catch (const Fault& fault) {
          EXPECT_STREQ(fault.what(), "index out of bounds: the len is 2 but the index is 2");
          throw;
        }
      },
      Fault);
  EXPECT_TRUE(same_representation(reg, before));
}

TEST(LocalComplement, PreservesTheStateOnRandomGraphs) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 1 + round % 7;
    Register reg = random_register(rng, n, round % 3 == 0 ? 0.8 : 0.45);
    const StateVector before = StateVector::from_register(reg);
    const Qubit v = std::uniform_int_distribution<Qubit>(0, n - 1)(rng);
    local_complement(reg, v);
    ASSERT_EQ(invariant_violation(reg), "") << describe(reg);
    ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(before))
        << "round " << round << " v " << v << ": " << describe(reg);
  }
}

TEST(RemoveVop, PartnerIsFirstEntryThatIsNotAvoid) {
  // VOP 5 reduces by one neighbour step, so the one complemented vertex shows the partner.
  const auto partner_of = [](const List& order, Qubit avoid) {
    Register reg(8);
    for (const Qubit w : order) reg.add_edge(0, w);
    reg.node(0).vop = clifford::s_dagger;
    remove_vop(reg, 0, avoid);
    EXPECT_EQ(reg.node(0).vop, clifford::identity);
    Qubit partner = 99;
    for (Qubit q = 1; q < 8; ++q) {
      if (reg.node(q).vop == product(clifford::hadamard, clifford::plus_sqrt_ix)) {
        EXPECT_EQ(partner, 99U) << "two complemented vertices";
        partner = q;
      }
    }
    return partner;
  };
  EXPECT_EQ(partner_of({1, 7, 3}, 1), 7U);
  EXPECT_EQ(partner_of({7, 1}, 1), 7U);
  EXPECT_EQ(partner_of({1}, 1), 1U);
  EXPECT_EQ(partner_of({3, 7}, 1), 3U);
}

TEST(RemoveVop, OneStepSequencesComplementOnce) {
  Register reg(4);
  reg.add_edge(0, 1);
  reg.add_edge(0, 2);
  reg.add_edge(2, 3);

  Register vertex = reg;
  vertex.node(0).vop = 15;
  Register expected = vertex;
  remove_vop(vertex, 0, 1);
  local_complement(expected, 0);
  EXPECT_TRUE(same_representation(vertex, expected)) << describe(vertex);
  EXPECT_EQ(vertex.node(0).vop, 0);

  Register neighbor = reg;
  neighbor.node(0).vop = 5;
  expected = neighbor;
  remove_vop(neighbor, 0, 1);
  local_complement(expected, 2);
  EXPECT_TRUE(same_representation(neighbor, expected)) << describe(neighbor);
  EXPECT_EQ(neighbor.node(0).vop, 0);
}

TEST(RemoveVop, IdentityCostsFourComplementations) {
  Register reg(5);
  reg.add_edge(2, 3);
  reg.add_edge(2, 4);
  reg.add_edge(0, 2);
  reg.add_edge(0, 3);
  reg.add_edge(0, 1);
  reg.node(0).vop = clifford::identity;
  const Register before = reg;
  remove_vop(reg, 0, 1);
  for (Qubit q = 0; q < 5; ++q) EXPECT_EQ(reg.node(q).vop, before.node(q).vop);
  // The pair (2, 3) was toggled four times: deleted and re-appended at the ends.
  EXPECT_EQ(reg.node(2).neighbors, (List{4, 0, 3}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0, 2}));
}

TEST(RemoveVop, FollowsTheSequenceWithAFixedPartnerForEveryVop) {
  std::mt19937 rng(7);
  for (int round = 0; round < 10; ++round) {
    for (Vop start = 0; start < clifford::vop_count; ++start) {
      const std::size_t n = 3 + round % 4;
      Register reg = random_register(rng, n, 0.5);
      const Qubit v = std::uniform_int_distribution<Qubit>(0, n - 1)(rng);
      Qubit avoid = std::uniform_int_distribution<Qubit>(0, n - 2)(rng);
      if (avoid >= v) ++avoid;
      // Give v another neighbour than `avoid` so that the reduction must reach 0.
      const Qubit other = (avoid + 1) % n == v ? (avoid + 2) % n : (avoid + 1) % n;
      if (!reg.has_edge(v, other)) reg.add_edge(v, other);
      reg.node(v).vop = start;

      Qubit partner = avoid;
      for (const Qubit w : reg.node(v).neighbors)
        if (w != avoid) {
          partner = w;
          break;
        }
      ASSERT_NE(partner, avoid);
      Register expected = reg;
      const auto& sequence = clifford::reduction_table[start];
      for (std::size_t k = 0; k < sequence.length; ++k)
        local_complement(expected, sequence.steps[k] == clifford::vertex_step ? v : partner);

      const StateVector state = StateVector::from_register(reg);
      remove_vop(reg, v, avoid);
      ASSERT_EQ(reg.node(v).vop, clifford::identity) << "start vop " << int{start};
      ASSERT_TRUE(same_representation(reg, expected)) << describe(reg);
      ASSERT_EQ(invariant_violation(reg), "");
      ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(state))
          << "start vop " << int{start} << ": " << describe(reg);
    }
  }
}

TEST(RemoveVop, PreservesTheStateWithoutOtherNeighbours) {
  for (Vop start = 0; start < clifford::vop_count; ++start) {
    // v joined to `avoid` only: the partner is `avoid`, and v still ends at 0.
    Register joined(3);
    joined.add_edge(0, 1);
    joined.add_edge(1, 2);
    joined.node(0).vop = start;
    StateVector state = StateVector::from_register(joined);
    remove_vop(joined, 0, 1);
    EXPECT_EQ(joined.node(0).vop, clifford::identity);
    EXPECT_TRUE(StateVector::from_register(joined).equal_up_to_phase(state));

    // v alone: neighbour steps complement `avoid`; only the state is promised.
    Register lone(3);
    lone.add_edge(1, 2);
    lone.node(0).vop = start;
    state = StateVector::from_register(lone);
    remove_vop(lone, 0, 1);
    EXPECT_EQ(invariant_violation(lone), "");
    EXPECT_TRUE(StateVector::from_register(lone).equal_up_to_phase(state));
    const bool vertex_steps_only = start == 0 || start == 1 || start == 14 || start == 15;
    EXPECT_EQ(lone.node(0).vop == clifford::identity, vertex_steps_only) << int{start};
  }
}

TEST(RemoveVop, BadIndexChangesNothing) {
  Register reg(3);
  reg.add_edge(0, 1);
  reg.add_edge(0, 2);
  const Register before = reg;
  EXPECT_THROW(remove_vop(reg, 3, 1), Fault);
  EXPECT_TRUE(same_representation(reg, before));
}

}  // namespace
}  // namespace korvane::engine
