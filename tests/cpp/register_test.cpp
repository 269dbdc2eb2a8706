#include "engine/register.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "clifford/local_clifford.h"
#include "engine/fault.h"
#include "fault_message.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using korvane::testing::fault_message;

using List = std::vector<Qubit>;

std::vector<Vop> vops_of(const Register& reg) {
  std::vector<Vop> vops;
  for (const Node& node : reg.nodes()) vops.push_back(node.vop);
  return vops;
}

TEST(Register, FreshQubitsAreZeroStateWithoutListStorage) {
  Register reg(4);
  ASSERT_EQ(reg.size(), 4U);
  for (const Node& node : reg.nodes()) {
    EXPECT_EQ(node.vop, clifford::hadamard);
    EXPECT_TRUE(node.neighbors.empty());
    EXPECT_EQ(node.neighbors.capacity(), 0U);
  }
  EXPECT_EQ(reg.nodes().capacity(), 4U);
  EXPECT_TRUE(testing::StateVector::from_register(reg).equal_up_to_phase(testing::StateVector(4)));
}

TEST(Register, ZeroQubitsIsAnEmptyRegister) {
  Register reg(0);
  EXPECT_EQ(reg.size(), 0U);
  EXPECT_EQ(fault_message([&] { reg.apply_clifford(0, clifford::hadamard); }),
            "index out of bounds: the len is 0 but the index is 0");
}

TEST(Register, IndexFaultLeavesVopsUnchanged) {
  Register reg(3);
  reg.apply_clifford(2, clifford::hadamard);
  EXPECT_EQ(reg.node(2).vop, clifford::identity);
  const auto before = vops_of(reg);
  EXPECT_EQ(fault_message([&] { reg.apply_clifford(3, clifford::hadamard); }),
            "index out of bounds: the len is 3 but the index is 3");
  EXPECT_EQ(fault_message([&] { reg.check_index(12345678901234ULL); }),
            "index out of bounds: the len is 3 but the index is 12345678901234");
  EXPECT_EQ(vops_of(reg), before);
}

TEST(Register, SingleQubitGatesAreLeftProducts) {
  Register reg(1);
  reg.apply_clifford(0, clifford::hadamard);
  EXPECT_EQ(reg.node(0).vop, 0);
  reg.apply_clifford(0, clifford::hadamard);
  EXPECT_EQ(reg.node(0).vop, 10);
  reg.apply_clifford(0, clifford::pauli_x);
  EXPECT_EQ(reg.node(0).vop, 9);

  Register other(1);
  other.apply_clifford(0, clifford::pauli_z);
  EXPECT_EQ(other.node(0).vop, 11);
  EXPECT_TRUE(other.node(0).neighbors.empty());
}

TEST(Register, AddEdgeAppendsFirstOperandListFirst) {
  Register reg(3);
  reg.add_edge(0, 2);
  reg.add_edge(1, 2);
  EXPECT_EQ(reg.node(0).neighbors, (List{2}));
  EXPECT_EQ(reg.node(1).neighbors, (List{2}));
  EXPECT_EQ(reg.node(2).neighbors, (List{0, 1}));
  EXPECT_TRUE(reg.has_edge(2, 0));
  EXPECT_TRUE(reg.has_edge(0, 2));
  EXPECT_FALSE(reg.has_edge(0, 1));
}

TEST(Register, RemoveThenAddKeepsOrderAndAppends) {
  Register reg(5);
  reg.add_edge(0, 3);
  reg.add_edge(0, 1);
  reg.add_edge(0, 4);
  ASSERT_EQ(reg.node(0).neighbors, (List{3, 1, 4}));
  reg.remove_edge(0, 1);
  EXPECT_EQ(reg.node(0).neighbors, (List{3, 4}));
  EXPECT_TRUE(reg.node(1).neighbors.empty());
  reg.add_edge(0, 1);
  EXPECT_EQ(reg.node(0).neighbors, (List{3, 4, 1}));
  EXPECT_EQ(reg.node(1).neighbors, (List{0}));
  EXPECT_EQ(testing::invariant_violation(reg), "");
}

TEST(Register, RemoveEdgeKeepsTheOrderOfTheRestAndToleratesAbsence) {
  Register reg(5);
  reg.add_edge(0, 2);
  reg.add_edge(0, 1);
  reg.add_edge(3, 0);
  reg.add_edge(2, 4);
  reg.add_edge(2, 3);
  // 0: [2, 1, 3], 2: [0, 4, 3]
  reg.remove_edge(0, 2);
  EXPECT_EQ(reg.node(0).neighbors, (List{1, 3}));
  EXPECT_EQ(reg.node(2).neighbors, (List{4, 3}));
  reg.remove_edge(0, 2);
  reg.remove_edge(4, 1);
  EXPECT_EQ(reg.node(0).neighbors, (List{1, 3}));
  EXPECT_EQ(reg.node(2).neighbors, (List{4, 3}));
  EXPECT_EQ(reg.node(4).neighbors, (List{2}));
  EXPECT_EQ(testing::invariant_violation(reg), "");
}

TEST(Register, ToggleAppendsThenRemovesWithoutReordering) {
  Register reg(5);
  reg.add_edge(0, 3);
  reg.add_edge(1, 4);
  reg.add_edge(1, 0);
  // 0: [3, 1], 1: [4, 0]
  reg.toggle_edge(1, 3);
  EXPECT_EQ(reg.node(1).neighbors, (List{4, 0, 3}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0, 1}));
  reg.toggle_edge(0, 1);
  EXPECT_EQ(reg.node(0).neighbors, (List{3}));
  EXPECT_EQ(reg.node(1).neighbors, (List{4, 3}));
  reg.toggle_edge(3, 1);
  EXPECT_EQ(reg.node(1).neighbors, (List{4}));
  EXPECT_EQ(reg.node(3).neighbors, (List{0}));
  EXPECT_EQ(testing::invariant_violation(reg), "");
}

TEST(Register, ToggleOfAnEdgeFromEitherEndRemovesItFromBothLists) {
  Register reg(4);
  reg.add_edge(0, 1);
  reg.add_edge(2, 1);
  reg.add_edge(1, 3);
  // 1: [0, 2, 3]
  reg.toggle_edge(2, 1);
  EXPECT_EQ(reg.node(1).neighbors, (List{0, 3}));
  EXPECT_TRUE(reg.node(2).neighbors.empty());
  reg.toggle_edge(1, 2);
  EXPECT_EQ(reg.node(1).neighbors, (List{0, 3, 2}));
  EXPECT_EQ(reg.node(2).neighbors, (List{1}));
  EXPECT_EQ(testing::invariant_violation(reg), "");
}

TEST(Register, HasOtherNeighbor) {
  Register reg(4);
  EXPECT_FALSE(reg.has_other_neighbor(0, 1));
  reg.add_edge(0, 1);
  EXPECT_FALSE(reg.has_other_neighbor(0, 1));
  EXPECT_TRUE(reg.has_other_neighbor(0, 2));
  reg.add_edge(0, 3);
  EXPECT_TRUE(reg.has_other_neighbor(0, 1));
  EXPECT_TRUE(reg.has_other_neighbor(0, 3));
}

TEST(Register, CopyIsIndependent) {
  Register reg(4);
  reg.add_edge(2, 0);
  reg.add_edge(2, 3);
  reg.add_edge(1, 2);
  reg.apply_clifford(1, clifford::s_gate);
  Register copy = reg;
  EXPECT_TRUE(testing::same_representation(copy, reg));
  copy.toggle_edge(2, 3);
  copy.add_edge(0, 1);
  copy.apply_clifford(0, clifford::pauli_y);
  EXPECT_EQ(reg.node(2).neighbors, (List{0, 3, 1}));
  EXPECT_EQ(reg.node(0).neighbors, (List{2}));
  EXPECT_EQ(reg.node(0).vop, clifford::hadamard);
  EXPECT_EQ(reg.node(1).vop, clifford::product(clifford::s_gate, clifford::hadamard));
  EXPECT_FALSE(testing::same_representation(copy, reg));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_sanitizer = true;
#else
constexpr bool address_sanitizer = false;
#endif
#else
constexpr bool address_sanitizer = false;
#endif

TEST(Register, UnaddressableSizeIsCapacityOverflow) {
  EXPECT_EQ(fault_message([] { Register reg(std::size_t{1} << 62); }), "capacity overflow");
}

TEST(Register, RefusedMemoryIsBadAlloc) {
  // AddressSanitizer's operator new aborts instead of throwing on a refused allocation.
  if (address_sanitizer) GTEST_SKIP() << "not observable under AddressSanitizer";
  EXPECT_THROW(Register reg(std::size_t{1} << 50), std::bad_alloc);
}

}  // namespace
}  // namespace korvane::engine
