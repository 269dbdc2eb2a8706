// The view of registers of up to 64 qubits, whose rows are one word, against the general dense
// view on the same rules: after every gate, measurement and complementation both leave the same
// graph and VOPs, so small registers evolve exactly as they did on the general view.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "korvane/engine/graph/dense_adjacency.h"
#include "korvane/engine/graph/dense_graph.h"
#include "korvane/engine/graph/small_graph.h"
#include "korvane/engine/graph/vop_array.h"
#include "korvane/engine/rules/controlled_z.h"
#include "korvane/engine/rules/measurement.h"
#include "scripted_source.h"

namespace korvane::engine {
namespace {

using testing::SeededSource;

struct Stores {
  explicit Stores(std::size_t qubits) : vops(qubits, clifford::hadamard), rows(qubits) {}
  VopArray vops;
  DenseAdjacency rows;
};

bool same(const Stores& a, const Stores& b) {
  for (Qubit q = 0; q < a.vops.size(); ++q) {
    if (a.vops.vop(q) != b.vops.vop(q) || a.rows.row(q)[0] != b.rows.row(q)[0]) return false;
  }
  return true;
}

TEST(SmallGraph, LeavesTheGraphTheGeneralViewLeaves) {
  for (const std::size_t qubits : {2, 5, 17, 64}) {
    Stores general(qubits);
    Stores small(qubits);
    auto general_view = view_of(general.vops, general.rows);
    auto small_view = small_view_of(small.vops, small.rows);
    SeededSource random(qubits);
    for (int step = 0; step < 4000; ++step) {
      const Qubit a = random.below(qubits);
      const Qubit b = (a + 1 + random.below(qubits - 1)) % qubits;
      const std::size_t kind = random.below(10);
      if (kind < 4) {
        const auto gate = static_cast<clifford::Vop>(random.below(clifford::vop_count));
        general.vops.set_vop(a, clifford::product(gate, general.vops.vop(a)));
        small.vops.set_vop(a, clifford::product(gate, small.vops.vop(a)));
      } else if (kind < 8) {
        apply_cz(general_view, a, b);
        apply_cz(small_view, a, b);
      } else if (kind < 9) {
        complement_locally(general_view, a);
        complement_locally(small_view, a);
      } else {
        const auto axis = static_cast<clifford::Axis>(random.below(3));
        SeededSource outcomes_general(step);
        SeededSource outcomes_small(step);
        ASSERT_EQ(measure_on(general_view, a, axis, outcomes_general),
                  measure_on(small_view, a, axis, outcomes_small));
      }
      ASSERT_TRUE(same(general, small)) << qubits << " qubits, step " << step;
    }
  }
}

}  // namespace
}  // namespace korvane::engine
