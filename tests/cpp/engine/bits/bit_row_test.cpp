// Rows of bits against std::vector<bool>, on rows short enough for the inline loops and long
// enough for the kernels chosen at load time.
#include "korvane/engine/bits/bit_row.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "scripted_source.h"

namespace korvane::engine {
namespace {

using Bits = std::vector<bool>;

Bits bits_of(ConstBitRow row) {
  Bits bits(row.size() * word_bits);
  for (std::size_t q = 0; q < bits.size(); ++q) bits[q] = test_bit(row, q);
  return bits;
}

std::vector<Word> random_row(testing::SeededSource& random, std::size_t words) {
  std::vector<Word> row(words);
  // Sparse, dense and empty words alike.
  for (Word& w : row) w = random.below(3) == 0 ? 0 : Word{random.next_u32()} << random.below(33);
  return row;
}

TEST(BitRow, AgreesWithAVectorOfBools) {
  testing::SeededSource random(3);
  for (const std::size_t words :
       {std::size_t{1}, short_row_words, short_row_words + 1, std::size_t{17}}) {
    for (int round = 0; round < 50; ++round) {
      std::vector<Word> row = random_row(random, words);
      const std::vector<Word> first = random_row(random, words);
      const std::vector<Word> second = random_row(random, words);
      Bits expected = bits_of(row);
      const Bits first_bits = bits_of(first);
      const Bits second_bits = bits_of(second);

      std::size_t count = 0;
      for (const bool bit : expected) count += bit ? 1 : 0;
      EXPECT_EQ(count_row(row), count);
      EXPECT_EQ(any_bit(row), count != 0);
      const std::size_t q = random.below(words * word_bits);
      EXPECT_EQ(has_bit_other_than(row, q), count > (expected[q] ? 1U : 0U));

      std::vector<std::size_t> visited;
      for_each_bit(row, [&visited](std::size_t x) { visited.push_back(x); });
      std::vector<std::size_t> set_bits;
      for (std::size_t x = 0; x < expected.size(); ++x)
        if (expected[x]) set_bits.push_back(x);
      EXPECT_EQ(visited, set_bits);  // in increasing order
      std::size_t seen = 0;
      for_each_bit_while(row, [&seen](std::size_t) { return ++seen < 3; });
      EXPECT_EQ(seen, std::min<std::size_t>(3, set_bits.size()));

      xor_row(row, first);
      for (std::size_t x = 0; x < expected.size(); ++x) expected[x] = expected[x] != first_bits[x];
      EXPECT_EQ(bits_of(row), expected);
      xor_row(row, first, second);
      for (std::size_t x = 0; x < expected.size(); ++x)
        expected[x] = expected[x] != (first_bits[x] != second_bits[x]);
      EXPECT_EQ(bits_of(row), expected);

      set_bit(row, q);
      flip_bit(row, q + 1 < expected.size() ? q + 1 : 0);
      clear_bit(row, q);
      expected[q + 1 < expected.size() ? q + 1 : 0].flip();
      expected[q] = false;
      EXPECT_EQ(bits_of(row), expected);
    }
  }
}

}  // namespace
}  // namespace korvane::engine
