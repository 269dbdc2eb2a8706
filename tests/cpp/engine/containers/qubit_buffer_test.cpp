// The qubit buffer keeps its entries in order as it moves from its own room to the heap.
#include "korvane/engine/containers/qubit_buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace korvane::engine {
namespace {

TEST(QubitBuffer, KeepsItsEntriesAcrossGrowth) {
  QubitBuffer buffer;
  EXPECT_EQ(buffer.begin(), buffer.end());
  std::vector<Qubit> expected;
  for (Qubit q = 0; q < 5 * QubitBuffer::inline_capacity; ++q) {
    buffer.push_back(q * q);
    expected.push_back(q * q);
    ASSERT_EQ(std::vector<Qubit>(buffer.begin(), buffer.end()), expected);
  }
  EXPECT_EQ(buffer.size(), expected.size());
  EXPECT_EQ(buffer[QubitBuffer::inline_capacity], expected[QubitBuffer::inline_capacity]);
}

}  // namespace
}  // namespace korvane::engine
