// The table of neighbour sets: blocks made only when written to, the last block partly used,
// and copies that share nothing.
#include "korvane/engine/containers/set_table.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <utility>
#include <vector>

namespace korvane::engine {
namespace {

using Visited = std::vector<std::pair<Qubit, std::size_t>>;

Visited nonempty(const SetTable& table) {
  Visited visited;
  table.for_each_nonempty(
      [&](Qubit q, const NeighborSet& set) { visited.emplace_back(q, set.size()); });
  return visited;
}

void add(SetTable& table, Qubit q, Qubit neighbor) {
  NeighborSet& set = table.get_mutable(q);
  set.reserve_one_more(table.memory());
  set.insert_reserved(neighbor);
}

TEST(SetTable, SetsAreEmptyUntilWrittenAndCopiesAreIndependent) {
  // Small blocks, and blocks of a huge page from four huge pages of sets on.
  for (const std::size_t qubits : {std::size_t{10000}, std::size_t{1} << 19}) {
    SetTable table(qubits);
    EXPECT_TRUE(nonempty(table).empty());
    const Qubit last = qubits - 1;
    EXPECT_TRUE(table.get(last).empty());
    add(table, last, 0);
    add(table, 3, 1);
    add(table, 3, 2);
    // Six neighbours take an array of the table's pool.
    for (Qubit x = 10; x < 16; ++x) add(table, 8, x);
    EXPECT_EQ(table.get(8).form(), NeighborSet::Form::pooled);
    EXPECT_EQ(nonempty(table), (Visited{{3, 2}, {8, 6}, {last, 1}}));  // in qubit order
    EXPECT_TRUE(table.get(4).empty());

    SetTable copy = table;
    add(copy, 5, 1);
    copy.get_mutable(3).erase(1, copy.memory());
    copy.get_mutable(8).erase(12, copy.memory());
    add(copy, 8, 20);
    EXPECT_EQ(nonempty(table), (Visited{{3, 2}, {8, 6}, {last, 1}}));
    EXPECT_TRUE(table.get(8).contains(12));
    EXPECT_FALSE(table.get(8).contains(20));
    EXPECT_EQ(nonempty(copy), (Visited{{3, 1}, {5, 1}, {8, 6}, {last, 1}}));
    copy = table;
    EXPECT_EQ(nonempty(copy), nonempty(table));
  }
}

}  // namespace
}  // namespace korvane::engine
