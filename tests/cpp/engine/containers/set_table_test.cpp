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

void add(SetTable& table, Qubit q, Qubit neighbor, std::size_t universe) {
  NeighborSet& set = table.get_mutable(q);
  set.reserve_one_more(universe);
  set.insert_reserved(neighbor);
}

TEST(SetTable, SetsAreEmptyUntilWrittenAndCopiesAreIndependent) {
  // Small blocks, and blocks of a huge page from four huge pages of sets on.
  for (const std::size_t qubits : {std::size_t{10000}, std::size_t{1} << 19}) {
    SetTable table(qubits);
    EXPECT_TRUE(nonempty(table).empty());
    const Qubit last = qubits - 1;
    EXPECT_TRUE(table.get(last).empty());
    add(table, last, 0, qubits);
    add(table, 3, 1, qubits);
    add(table, 3, 2, qubits);
    EXPECT_EQ(nonempty(table), (Visited{{3, 2}, {last, 1}}));  // in qubit order
    EXPECT_TRUE(table.get(4).empty());

    SetTable copy = table;
    add(copy, 5, 1, qubits);
    copy.get_mutable(3).erase(1);
    EXPECT_EQ(nonempty(table), (Visited{{3, 2}, {last, 1}}));
    EXPECT_EQ(nonempty(copy), (Visited{{3, 1}, {5, 1}, {last, 1}}));
    copy = table;
    EXPECT_EQ(nonempty(copy), nonempty(table));
  }
}

}  // namespace
}  // namespace korvane::engine
