#include "korvane/engine/ops/local_complement.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "edge_toggles.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "random_graphs.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using clifford::product;
using List = std::vector<Qubit>;
using testing::describe;
using testing::invariant_violation;
using testing::same_representation;
using testing::StateVector;

TEST(LocalComplement, StarBecomesCompleteAndVopsAreRightFactors) {
  for (const engine::Storage storage : testing::both_storages) {
    Register reg(4, storage);
    for (Qubit leaf = 1; leaf < 4; ++leaf) testing::toggle_edge(reg, 0, leaf);
    const Vop vops[4] = {7, 12, 3, 19};
    for (Qubit q = 0; q < 4; ++q) reg.set_vop(q, vops[q]);

    local_complement(reg, 0);
    EXPECT_EQ(reg.neighbors(0), (List{1, 2, 3}));
    EXPECT_EQ(reg.neighbors(1), (List{0, 2, 3}));
    EXPECT_EQ(reg.neighbors(3), (List{0, 1, 2}));
    EXPECT_EQ(reg.vop(0), product(vops[0], clifford::plus_sqrt_ix));
    for (Qubit q = 1; q < 4; ++q) EXPECT_EQ(reg.vop(q), product(vops[q], clifford::s_gate));

    // Twice restores the edges; S twice is Z and the vertex factor twice is X.
    local_complement(reg, 0);
    EXPECT_EQ(reg.edge_count(), 3U);
    EXPECT_EQ(reg.neighbors(1), (List{0}));
    EXPECT_EQ(reg.vop(0), product(vops[0], clifford::pauli_x));
    for (Qubit q = 1; q < 4; ++q) EXPECT_EQ(reg.vop(q), product(vops[q], clifford::pauli_z));
  }
}

TEST(LocalComplement, BadIndexChangesNothing) {
  Register reg(2);
  testing::toggle_edge(reg, 0, 1);
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
  testing::SeededSource random(20240601);
  for (int round = 0; round < 600; ++round) {
    const std::size_t n = 1 + round % 7;
    Register reg = testing::random_register(random, n, round % 3 == 0 ? 80 : 45,
                                            testing::both_storages[round % 2]);
    const StateVector before = StateVector::from_register(reg);
    const Qubit v = random.below(n);
    local_complement(reg, v);
    ASSERT_EQ(invariant_violation(reg), "") << describe(reg);
    ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(before))
        << "round " << round << " v " << v << ": " << describe(reg);
  }
}

}  // namespace
}  // namespace korvane::engine
