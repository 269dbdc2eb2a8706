// The entangled group of a qubit, compared with connected components found by union-find.
#include "korvane/engine/ops/entangled_group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "fault_message.h"
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

using testing::SeededSource;
using Group = std::set<Qubit>;

Group group_of(const Register& reg, Qubit q) {
  const std::vector<Qubit> found = entangled_group(reg, q);
  const Group group(found.begin(), found.end());
  EXPECT_EQ(group.size(), found.size()) << "a qubit was returned twice";
  return group;
}

Register chain_of_three_and_a_loner() {
  Register reg(4);
  for (Qubit q = 0; q < 3; ++q) reg.apply_clifford(q, clifford::hadamard);
  cz(reg, 0, 1);
  cz(reg, 1, 2);
  return reg;
}

TEST(EntangledGroup, LoneQubitsAndAChain) {
  const Register fresh(3);
  for (Qubit q = 0; q < 3; ++q) EXPECT_EQ(group_of(fresh, q), Group{q});

  const Register reg = chain_of_three_and_a_loner();
  for (Qubit q = 0; q < 3; ++q) EXPECT_EQ(group_of(reg, q), (Group{0, 1, 2}));
  EXPECT_EQ(group_of(reg, 3), Group{3});
  EXPECT_EQ(entangled_group(reg, 0).front(), 0U);
}

TEST(EntangledGroup, SingleQubitGatesKeepGroupsAndMeasurementIsolates) {
  Register reg = chain_of_three_and_a_loner();
  for (Vop gate = 0; gate < clifford::vop_count; ++gate) {
    reg.apply_clifford(gate % 4, gate);
    for (Qubit q = 0; q < 3; ++q) EXPECT_EQ(group_of(reg, q), (Group{0, 1, 2}));
  }
  SeededSource dice(3);
  measure(reg, 1, clifford::Axis::Y, dice);
  EXPECT_EQ(group_of(reg, 1), Group{1});
}

TEST(EntangledGroup, IndexFaults) {
  const Register reg = chain_of_three_and_a_loner();
  EXPECT_EQ(fault_message([&] { entangled_group(reg, 4); }),
            "index out of bounds: the len is 4 but the index is 4");
  EXPECT_EQ(fault_message([&] { entangled_group(Register(0), 0); }),
            "index out of bounds: the len is 0 but the index is 0");
}

// Root of q's class, with path halving.
Qubit find_root(std::vector<Qubit>& parent, Qubit q) {
  while (parent[q] != q) q = parent[q] = parent[parent[q]];
  return q;
}

TEST(EntangledGroup, EqualsConnectedComponentOfRandomCircuits) {
  SeededSource dice(99);
  for (int circuit = 0; circuit < 200; ++circuit) {
    const std::size_t n = 1 + dice.below(12);
    Register reg(n, testing::both_storages[circuit % 2]);
    for (int step = 0; step < 20; ++step) {
      const Qubit a = dice.below(n);
      if (dice.below(5) == 0) {
        measure(reg, a, static_cast<clifford::Axis>(dice.below(3)), dice);
      } else if (n > 1 && dice.below(2) == 0) {
        cz(reg, a, (a + 1 + dice.below(n - 1)) % n);
      } else {
        reg.apply_clifford(a, static_cast<Vop>(dice.below(clifford::vop_count)));
      }
    }
    ASSERT_EQ(testing::invariant_violation(reg), "");
    std::vector<Qubit> parent(n);
    std::iota(parent.begin(), parent.end(), Qubit{0});
    for (Qubit a = 0; a < n; ++a)
      for (const Qubit b : reg.neighbors(a)) parent[find_root(parent, a)] = find_root(parent, b);
    for (Qubit q = 0; q < n; ++q) {
      Group component;
      for (Qubit other = 0; other < n; ++other)
        if (find_root(parent, other) == find_root(parent, q)) component.insert(other);
      EXPECT_EQ(group_of(reg, q), component) << testing::describe(reg);
    }
  }
}

}  // namespace
}  // namespace korvane::engine
