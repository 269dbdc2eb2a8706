// Memory for big arrays: a huge page or more comes aligned to a huge page, less as usual, and
// every size that cannot be had is std::bad_alloc.
#include "korvane/engine/containers/large_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

namespace korvane::engine {
namespace {

TEST(LargeArray, HugeArraysAreAlignedToHugePages) {
  for (const std::size_t bytes :
       {std::size_t{1}, huge_page_bytes - 1, huge_page_bytes, 3 * huge_page_bytes + 5}) {
    auto* const memory = static_cast<unsigned char*>(allocate_large(bytes));
    memory[0] = 1;
    memory[bytes - 1] = 2;  // the whole array is usable
    if (bytes >= huge_page_bytes) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % huge_page_bytes, 0U) << bytes;
    }
    release_large(memory, bytes);
  }
}

TEST(LargeArray, VectorsDrawOnItAndUnaddressableSizesAreRefused) {
  std::vector<std::uint64_t, LargeArrayAllocator<std::uint64_t>> words(huge_page_bytes / 8 + 1, 7);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(words.data()) % huge_page_bytes, 0U);
  EXPECT_EQ(words.back(), 7U);
  EXPECT_THROW(allocate_large(~std::size_t{0}), std::bad_alloc);
  EXPECT_THROW(LargeArrayAllocator<std::uint64_t>().allocate(~std::size_t{0} / 4), std::bad_alloc);
}

}  // namespace
}  // namespace korvane::engine
