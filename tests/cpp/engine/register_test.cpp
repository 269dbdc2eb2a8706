#include "korvane/engine/register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "edge_toggles.h"
#include "fault_message.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "korvane/engine/containers/memory_budget.h"
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
      testing::toggle_edge(reg, a, b);
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

// Sets the budget for matrices while it lives.
class BudgetForTest {
 public:
  explicit BudgetForTest(std::size_t bytes) : previous_(set_dense_memory_budget(bytes)) {}
  BudgetForTest(const BudgetForTest&) = delete;
  BudgetForTest& operator=(const BudgetForTest&) = delete;
  ~BudgetForTest() { set_dense_memory_budget(previous_); }

 private:
  std::size_t previous_;
};

// Matrices come out of one budget for the whole process: a register turns dense only when its
// matrix fits what the others leave, stays sparse (and right) otherwise, and can take the room
// once another has given it back.
TEST(Register, MatricesShareOneMemoryBudget) {
  constexpr std::size_t n = 200;
  const std::size_t matrix_bytes = n * ((n + 63) / 64) * sizeof(Word);
  const BudgetForTest room_for_one(dense_memory_charged() + matrix_bytes + matrix_bytes / 2);
  // The same graph on each register: enough edges for a matrix by density.
  auto fill = [](Register& reg) {
    SeededSource random(11);
    for (int k = 0; k < 300; ++k) {
      const Qubit a = random.below(n);
      testing::toggle_edge(reg, a, (a + 1 + random.below(n - 1)) % n);
      reg.settle_storage();
    }
  };
  auto second = std::make_unique<Register>(n);
  {
    Register first(n);
    fill(first);
    EXPECT_TRUE(first.is_dense());
    fill(*second);
    EXPECT_FALSE(second->is_dense());
    EXPECT_TRUE(testing::same_representation(first, *second));
    EXPECT_EQ(testing::invariant_violation(*second), "");
  }
  second->settle_storage();
  EXPECT_TRUE(second->is_dense());
  EXPECT_EQ(testing::invariant_violation(*second), "");
  // Matrices asked for explicitly are charged but never refused.
  const std::size_t charged = dense_memory_charged();
  const Register forced(n, Storage::dense);
  EXPECT_EQ(dense_memory_charged(), charged + matrix_bytes);
  EXPECT_TRUE(forced.is_dense());
}

// Without a fixed size limit, a register far beyond the old 32,768 qubits turns dense when its
// graph fills in and the budget has room; with no room, it stays sparse.
TEST(Register, LargeRegistersTurnDenseWithinTheBudget) {
  constexpr std::size_t n = 40000;
  for (const bool room : {true, false}) {
    const BudgetForTest budget(room ? dense_memory_charged() + (std::size_t{1} << 30) : 0);
    Register reg(n);
    // Mean degree 8: each qubit joined to the next four around the ring.
    for (Qubit q = 0; q < n; ++q)
      for (Qubit step = 1; step <= 4; ++step) testing::toggle_edge(reg, q, (q + step) % n);
    reg.settle_storage();
    EXPECT_EQ(reg.is_dense(), room);
    EXPECT_EQ(reg.edge_count(), 4 * n);
    EXPECT_EQ(reg.neighbors(0), (std::vector<Qubit>{1, 2, 3, 4, n - 4, n - 3, n - 2, n - 1}));
  }
}

TEST(Register, CopyIsIndependent) {
  for (const Storage storage : {Storage::sparse, Storage::dense}) {
    Register reg(4, storage);
    testing::toggle_edge(reg, 2, 0);
    testing::toggle_edge(reg, 2, 3);
    reg.apply_clifford(1, clifford::s_gate);
    Register copy = reg;
    EXPECT_TRUE(testing::same_representation(copy, reg));
    testing::toggle_edge(copy, 2, 3);
    testing::toggle_edge(copy, 0, 1);
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
