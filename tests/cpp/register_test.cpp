#include "korvane/engine/register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "fault_message.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using korvane::testing::fault_message;
using korvane::testing::SeededSource;

TEST(Register, FreshQubitsAreTheZeroStateInEitherStorage) {
  for (const Storage storage : {Storage::automatic, Storage::sparse, Storage::dense}) {
    Register reg(4, storage);
    ASSERT_EQ(reg.size(), 4U);
    EXPECT_EQ(reg.is_dense(), storage != Storage::sparse);
    for (Qubit q = 0; q < 4; ++q) {
      EXPECT_EQ(reg.vop(q), clifford::hadamard);
      EXPECT_EQ(reg.degree(q), 0U);
    }
    EXPECT_EQ(reg.edge_count(), 0U);
    EXPECT_TRUE(
        testing::StateVector::from_register(reg).equal_up_to_phase(testing::StateVector(4)));
  }
  EXPECT_FALSE(Register(100000).is_dense());
}

TEST(Register, ZeroQubitsIsAnEmptyRegister) {
  for (const Storage storage : {Storage::automatic, Storage::sparse, Storage::dense}) {
    Register reg(0, storage);
    EXPECT_EQ(reg.size(), 0U);
    EXPECT_EQ(reg.edge_count(), 0U);
    EXPECT_EQ(fault_message([&] { reg.apply_clifford(0, clifford::hadamard); }),
              "index out of bounds: the len is 0 but the index is 0");
  }
}

TEST(Register, IndexFaultLeavesTheRegisterUnchanged) {
  Register reg(3);
  reg.apply_clifford(2, clifford::hadamard);
  EXPECT_EQ(reg.vop(2), clifford::identity);
  const Register before = reg;
  EXPECT_EQ(fault_message([&] { reg.apply_clifford(3, clifford::hadamard); }),
            "index out of bounds: the len is 3 but the index is 3");
  EXPECT_EQ(fault_message([&] { reg.check_index(12345678901234ULL); }),
            "index out of bounds: the len is 3 but the index is 12345678901234");
  EXPECT_EQ(fault_message([&] { reg.toggle_edge(1, 3); }),
            "index out of bounds: the len is 3 but the index is 3");
  EXPECT_THROW(reg.toggle_edge(1, 1), Fault);
  EXPECT_THROW(reg.set_vop(0, 24), Fault);
  EXPECT_TRUE(testing::same_representation(reg, before));
}

TEST(Register, SingleQubitGatesAreLeftProducts) {
  Register reg(1);
  reg.apply_clifford(0, clifford::hadamard);
  EXPECT_EQ(reg.vop(0), 0);
  reg.apply_clifford(0, clifford::hadamard);
  EXPECT_EQ(reg.vop(0), 10);
  reg.apply_clifford(0, clifford::pauli_x);
  EXPECT_EQ(reg.vop(0), 9);
}

// The automatic storage turns dense as edges accumulate and sparse again as they go, keeping the
// graph, the VOPs and the state throughout; a fixed storage never moves.
TEST(Register, StorageFollowsDensityWithoutChangingTheGraph) {
  constexpr std::size_t n = 200;
  for (const Storage storage : {Storage::automatic, Storage::sparse}) {
    Register reg(n, storage);
    SeededSource random(3);
    std::set<std::pair<Qubit, Qubit>> edges;
    auto toggle = [&](Qubit a, Qubit b) {
      reg.toggle_edge(a, b);
      const auto pair = std::minmax(a, b);
      if (!edges.erase(pair)) edges.insert(pair);
      reg.settle_storage();
    };
    for (int k = 0; k < 400; ++k) {
      const Qubit a = random.below(n);
      toggle(a, (a + 1 + random.below(n - 1)) % n);
    }
    EXPECT_EQ(reg.is_dense(), storage == Storage::automatic);
    ASSERT_EQ(testing::invariant_violation(reg), "");
    while (!edges.empty()) {
      const auto [a, b] = *edges.begin();
      toggle(a, b);
    }
    EXPECT_FALSE(reg.is_dense());
    EXPECT_EQ(reg.edge_count(), 0U);
    EXPECT_EQ(testing::invariant_violation(reg), "");
  }
}

TEST(Register, CopyIsIndependent) {
  for (const Storage storage : {Storage::sparse, Storage::dense}) {
    Register reg(4, storage);
    reg.toggle_edge(2, 0);
    reg.toggle_edge(2, 3);
    reg.apply_clifford(1, clifford::s_gate);
    Register copy = reg;
    EXPECT_TRUE(testing::same_representation(copy, reg));
    copy.toggle_edge(2, 3);
    copy.toggle_edge(0, 1);
    copy.apply_clifford(0, clifford::pauli_y);
    EXPECT_EQ(reg.neighbors(2), (std::vector<Qubit>{0, 3}));
    EXPECT_EQ(reg.neighbors(0), (std::vector<Qubit>{2}));
    EXPECT_EQ(reg.vop(0), clifford::hadamard);
    EXPECT_FALSE(testing::same_representation(copy, reg));
  }
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
