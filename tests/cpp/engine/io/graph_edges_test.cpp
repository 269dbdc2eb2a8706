// Graphs built from rows of edges in chunks, refused rows that change nothing, and lattice cluster
// states against the neighbour relation of their sites.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "graph_description.h"
#include "korvane/engine/io/cluster_state.h"
#include "korvane/engine/io/graph_edges.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::testing {
namespace {

using Rows = std::vector<std::int64_t>;

// The edges of `reg`, each in a random orientation, in a random order.
Rows rows_of(const engine::Register& reg, SeededSource& random) {
  std::vector<std::pair<std::size_t, std::size_t>> edges = describe_graph(reg).edges;
  for (std::size_t i = edges.size(); i > 1; --i) std::swap(edges[i - 1], edges[random.below(i)]);
  Rows rows;
  for (const auto& [a, b] : edges) {
    const bool flip = random.below(2) == 1;
    rows.push_back(static_cast<std::int64_t>(flip ? b : a));
    rows.push_back(static_cast<std::int64_t>(flip ? a : b));
  }
  return rows;
}

void add_rows(engine::GraphBuilder& builder, const Rows& rows) {
  builder.add_edges(rows.data(), rows.size() / 2);
}

void add_to_register(engine::Register& reg, const Rows& rows, std::size_t first_row) {
  engine::add_graph_edges(reg, rows.data(), rows.size() / 2, first_row,
                          engine::EarlierEdges::register_own);
}

// The message of the InvalidInput that `build` throws, or "" when it throws none.
template <class Build>
std::string refusal(Build&& build) {
  try {
    build();
  } catch (const engine::InvalidInput& error) {
    return error.what();
  }
  return "";
}

TEST(GraphEdges, ChunksOfAnySizeBuildTheGraphStateOfAllTheirRows) {
  SeededSource random(31);
  // A bit matrix (9 qubits) and neighbour sets of every form (300 qubits, some of high degree).
  for (const auto& [qubits, percent] : {std::pair{9, 40}, std::pair{300, 3}}) {
    const engine::Register reg = random_register(random, qubits, percent, engine::Storage::sparse);
    const Rows rows = rows_of(reg, random);
    std::vector<std::int64_t> vops;
    for (std::size_t q = 0; q < reg.size(); ++q) vops.push_back(reg.vop(q));
    engine::GraphBuilder builder(reg.size(), vops.data());
    for (std::size_t next = 0; next < rows.size();) {
      const std::size_t length = std::min(rows.size() - next, 2 * random.below(40));
      builder.add_edges(rows.data() + next, length / 2);
      next += length;
    }
    EXPECT_EQ(builder.rows(), rows.size() / 2);
    const engine::Register built = std::move(builder).finish();
    EXPECT_TRUE(same_representation(built, reg)) << describe(built);
    EXPECT_EQ(built.edge_count(), reg.edge_count());
    EXPECT_EQ(invariant_violation(built), "");
  }
}

// A bad row anywhere in a chunk leaves the register as the chunks before it made it, and names
// the row counted over all chunks; the build goes on after it.
TEST(GraphEdges, ARefusedChunkChangesNothing) {
  for (const std::size_t qubits : {6U, 100U}) {
    const auto q = [](std::int64_t index) { return index; };
    engine::GraphBuilder builder(qubits);
    add_rows(builder, {0, 1, 1, 2, 2, 3, 3, 4, 4, 0});
    const engine::Register before = engine::Register(std::move(builder).finish());
    const std::vector<std::pair<Rows, std::string>> cases{
        {{0, 2, 2, 5, 1, 2}, "edge row 7 (1, 2) repeats an earlier edge"},
        {{0, 2, 5, 0, 2, 0}, "edge row 7 (2, 0) repeats an earlier edge"},
        {{0, 2, 5, 5}, "edge row 6 (5, 5) is a self-loop"},
        {{5, 0, q(-1), 2},
         "edge row 6 (-1, 2) names a qubit outside the register of " + std::to_string(qubits) +
             " qubits"},
        {{5, 0, 0, q(qubits)},
         "edge row 6 (0, " + std::to_string(qubits) + ") names a qubit outside the register of " +
             std::to_string(qubits) + " qubits"},
    };
    for (const auto& [rows, message] : cases) {
      engine::GraphBuilder again(qubits);
      add_rows(again, {0, 1, 1, 2, 2, 3, 3, 4, 4, 0});
      EXPECT_EQ(refusal([&] { add_rows(again, rows); }), message);
      again.add_edges(nullptr, 0);
      const engine::Register after = std::move(again).finish();
      EXPECT_TRUE(same_representation(after, before)) << describe(after);
      EXPECT_EQ(after.edge_count(), 5U);
    }
    // Unsigned rows are named with the values given, never as negative ones.
    engine::GraphBuilder unsigned_rows(qubits);
    const std::vector<std::uint64_t> beyond{1, 2, 0, std::uint64_t{1} << 63};
    EXPECT_EQ(refusal([&] { unsigned_rows.add_edges(beyond.data(), 2); }),
              "edge row 1 (0, 9223372036854775808) names a qubit outside the register of " +
                  std::to_string(qubits) + " qubits");
    EXPECT_EQ(std::move(unsigned_rows).finish().edge_count(), 0U);
  }
}

// Added to a register's own graph, a row naming one of its edges is told apart from a row
// repeating an earlier row; either leaves the graph and every VOP as they were.
TEST(GraphEdges, AddedEdgesKeepTheVopsAndRefuseEdgesTheGraphHas) {
  SeededSource random(5);
  for (const engine::Storage storage : both_storages) {
    const engine::Register original = random_register(random, 8, 30, storage);
    Rows absent;
    for (std::int64_t a = 0; a < 8; ++a)
      for (std::int64_t b = a + 1; b < 8; ++b)
        if (!original.has_edge(a, b)) absent.insert(absent.end(), {b, a});
    ASSERT_GE(absent.size(), 4U);
    const auto [a, b] = describe_graph(original).edges.front();
    const auto existing = static_cast<std::int64_t>(a);
    const auto other = static_cast<std::int64_t>(b);
    engine::Register reg = original;
    EXPECT_EQ(refusal([&] {
                add_to_register(reg, Rows{absent[0], absent[1], other, existing}, 10);
              }),
              "edge row 11 (" + std::to_string(other) + ", " + std::to_string(existing) +
                  ") is an edge of the register already");
    EXPECT_EQ(refusal([&] {
                add_to_register(
                    reg, Rows{absent[0], absent[1], absent[2], absent[3], absent[1], absent[0]}, 0);
              }),
              "edge row 2 (" + std::to_string(absent[1]) + ", " + std::to_string(absent[0]) +
                  ") repeats an earlier edge");
    EXPECT_TRUE(same_representation(reg, original)) << describe(reg);
    add_to_register(reg, absent, 0);
    EXPECT_EQ(reg.edge_count(), 8U * 7U / 2U);
    for (std::size_t q = 0; q < 8; ++q) EXPECT_EQ(reg.vop(q), original.vop(q));
  }
}

struct Lattice {
  std::vector<std::size_t> sides;
  std::vector<bool> periodic;
};

// Whether sites x and y (coordinates) are neighbours: one step apart along one axis, or the two
// ends of a periodic axis of at least three sites.
bool neighbors(const Lattice& lattice, const std::vector<std::size_t>& x,
               const std::vector<std::size_t>& y) {
  std::size_t differing = 0;
  bool adjacent = false;
  for (std::size_t axis = 0; axis < x.size(); ++axis) {
    if (x[axis] == y[axis]) continue;
    ++differing;
    const std::size_t gap = x[axis] > y[axis] ? x[axis] - y[axis] : y[axis] - x[axis];
    const std::size_t side = lattice.sides[axis];
    adjacent = gap == 1 || (lattice.periodic[axis] && side >= 3 && gap == side - 1);
  }
  return differing == 1 && adjacent;
}

TEST(ClusterState, JoinsExactlyTheNeighbouringSitesInAnySteps) {
  const std::vector<Lattice> lattices{
      {{7}, {false}},
      {{7}, {true}},
      {{2}, {true}},
      {{3, 4}, {false, true}},
      {{1, 5}, {true, true}},
      {{9, 10}, {true, false}},
      {{2, 3, 4}, {true, false, true}},
      {{5, 5, 4}, {true, true, true}},
      {{3, 0}, {false, false}},
  };
  SeededSource random(3);
  for (const Lattice& lattice : lattices) {
    engine::ClusterBuilder builder(lattice.sides, lattice.periodic);
    while (builder.build_next(1 + random.below(30))) {
    }
    const engine::Register reg = std::move(builder).finish();
    // Each site's coordinates, the last axis fastest.
    std::vector<std::vector<std::size_t>> sites;
    std::vector<std::size_t> at(lattice.sides.size(), 0);
    for (std::size_t q = 0; q < reg.size(); ++q) {
      sites.push_back(at);
      for (std::size_t axis = at.size(); axis-- > 0;) {
        if (++at[axis] < lattice.sides[axis]) break;
        at[axis] = 0;
      }
    }
    std::size_t edges = 0;
    for (std::size_t a = 0; a < reg.size(); ++a) {
      EXPECT_EQ(reg.vop(a), clifford::identity);
      for (std::size_t b = a + 1; b < reg.size(); ++b) {
        const bool expected = neighbors(lattice, sites[a], sites[b]);
        ASSERT_EQ(reg.has_edge(a, b), expected) << a << " - " << b;
        edges += expected ? 1 : 0;
      }
    }
    EXPECT_EQ(reg.edge_count(), edges);
    EXPECT_EQ(invariant_violation(reg), "");
  }
}

TEST(ClusterState, RefusesLatticesThatCannotBeBuilt) {
  EXPECT_EQ(refusal([] { engine::ClusterBuilder({}, {}); }), "a lattice has at least one axis");
  EXPECT_EQ(refusal([] {
              engine::ClusterBuilder({3, 3}, {true});
            }),
            "a lattice of 2 axes takes 2 periodic flags, not 1");
  const std::size_t huge = std::size_t{1} << 40;
  EXPECT_THROW(engine::ClusterBuilder({huge, huge}, {false, false}), engine::Fault);
}

}  // namespace
}  // namespace korvane::testing
