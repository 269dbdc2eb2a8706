// The per-thread generator, the seeded generator and the uniform choice among three axes.
#include "korvane/engine/random/thread_generator.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "korvane/engine/random/seeded_generator.h"
#include "scripted_source.h"

namespace korvane::engine {
namespace {

using clifford::Axis;
using testing::ScriptedSource;
using testing::SeededSource;

TEST(SeededGenerator, SplitmixAndXoshiroGiveTheirPublishedOutputs) {
  std::uint64_t counter = 0;
  EXPECT_EQ(splitmix64(counter), 0xE220A8397B1DCDAFULL);
  // xoshiro256** from the state {1, 2, 3, 4}, worked out by hand from its definition.
  SeededGenerator generator = SeededGenerator::from_state({1, 2, 3, 4});
  EXPECT_EQ(generator.next_u64(), 11520U);
  EXPECT_EQ(generator.next_u64(), 0U);
  EXPECT_EQ(generator.next_u64(), 1509978240U);
  // A seed fills the state with splitmix64's outputs from the seed onwards.
  std::uint64_t seed = 42;
  std::array<std::uint64_t, 4> state{};
  for (std::uint64_t& word : state) word = splitmix64(seed);
  SeededGenerator seeded(42);
  SeededGenerator started = SeededGenerator::from_state(state);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(seeded.next_u64(), started.next_u64());
  EXPECT_EQ(SeededGenerator(7).next_u32(), SeededGenerator(7).next_u64() >> 32);
}

// The axis an exact uniform fraction u = (w * 2^32 + w2) / 2^64 gives: floor(3u).
Axis exact_axis(std::uint32_t w, std::uint32_t w2) {
  const unsigned __int128 fraction = (static_cast<unsigned __int128>(w) << 32) | w2;
  return static_cast<Axis>(static_cast<unsigned>((3 * fraction) >> 64));
}

// Whether the first word alone leaves the axis open: floor(3u) differs between the smallest and
// the largest second word.
bool needs_second_word(std::uint32_t w) { return exact_axis(w, 0) != exact_axis(w, 0xFFFFFFFFU); }

void expect_matches_exact_fraction(std::uint32_t w, std::uint32_t w2) {
  ScriptedSource source({w, w2});
  EXPECT_EQ(uniform_axis(source), exact_axis(w, w2)) << w << " " << w2;
  EXPECT_EQ(source.draws(), needs_second_word(w) ? 2U : 1U) << w << " " << w2;
}

TEST(UniformAxis, EqualsTheIntegerPartOfThreeTimesTheFraction) {
  // Words next to the thirds of the range, where the second word decides.
  const std::vector<std::uint32_t> firsts{0,           1,          1431655764, 1431655765,
                                          1431655766,  2863311529, 2863311530, 2863311531,
                                          0xFFFFFFFEU, 0xFFFFFFFFU};
  const std::vector<std::uint32_t> seconds{0,          1,          1431655765, 1431655766,
                                           2863311530, 2863311531, 0xFFFFFFFFU};
  for (const std::uint32_t w : firsts)
    for (const std::uint32_t w2 : seconds) expect_matches_exact_fraction(w, w2);

  SeededSource dice(5);
  for (int i = 0; i < 20000; ++i) expect_matches_exact_fraction(dice.next_u32(), dice.next_u32());
}

TEST(UniformAxis, SecondWordBreaksTiesAtTheThirds) {
  // 3 * 1431655765 = 2^32 - 1: on the edge between X and Y.
  expect_matches_exact_fraction(1431655765, 0);
  ScriptedSource low({1431655765, 0});
  EXPECT_EQ(uniform_axis(low), Axis::X);
  ScriptedSource high({1431655765, 0xFFFFFFFFU});
  EXPECT_EQ(uniform_axis(high), Axis::Y);
  // 3 * 2863311530 = 2^33 - 2: on the edge between Y and Z.
  ScriptedSource below({2863311530, 2863311530});
  EXPECT_EQ(uniform_axis(below), Axis::Y);
  ScriptedSource above({2863311530, 2863311531});
  EXPECT_EQ(uniform_axis(above), Axis::Z);
  EXPECT_EQ(below.draws(), 2U);
  EXPECT_EQ(above.draws(), 2U);
}

double chi_square(const std::vector<std::size_t>& counts, double expected) {
  double total = 0;
  for (const std::size_t count : counts) {
    const double deviation = static_cast<double>(count) - expected;
    total += deviation * deviation / expected;
  }
  return total;
}

TEST(UniformAxis, IsUnbiased) {
  SeededSource dice(2024);
  constexpr std::size_t draws = 300000;
  std::vector<std::size_t> counts(3);
  for (std::size_t i = 0; i < draws; ++i) ++counts[static_cast<std::size_t>(uniform_axis(dice))];
  // Two degrees of freedom: 18.4 is the 0.9999 quantile.
  EXPECT_LT(chi_square(counts, draws / 3.0), 18.4)
      << counts[0] << " " << counts[1] << " " << counts[2];
}

TEST(ThreadGenerator, WordsAreUniform) {
  RandomSource& generator = thread_generator();
  EXPECT_EQ(&generator, &thread_generator());
  constexpr std::size_t draws = 64000;
  std::vector<std::size_t> top_nibbles(16);
  std::vector<std::size_t> low_bytes(256);
  for (std::size_t i = 0; i < draws; ++i) {
    const std::uint32_t word = generator.next_u32();
    ++top_nibbles[word >> 28];
    ++low_bytes[word & 0xFFU];
  }
  // Seeded by the system, so the thresholds sit far out (quantiles near 1 - 1e-9).
  EXPECT_LT(chi_square(top_nibbles, draws / 16.0), 60.0);
  EXPECT_LT(chi_square(low_bytes, draws / 256.0), 450.0);
}

TEST(ThreadGenerator, EachThreadHasItsOwnStream) {
  constexpr std::size_t words = 4;
  std::array<std::array<std::uint32_t, words>, 2> streams{};
  std::array<const RandomSource*, 2> generators{};
  auto draw = [&](std::size_t which) {
    generators[which] = &thread_generator();
    for (auto& word : streams[which]) word = thread_generator().next_u32();
  };
  std::thread first(draw, 0);
  std::thread second(draw, 1);
  first.join();
  second.join();
  EXPECT_NE(generators[0], &thread_generator());
  EXPECT_NE(streams[0], streams[1]);
}

// The stream a forked child draws from the generator it inherited, read back through a pipe.
std::array<std::uint32_t, 8> stream_of_forked_child() {
  std::array<std::uint32_t, 8> stream{};
  std::array<int, 2> pipe_ends{};
  if (pipe(pipe_ends.data()) != 0) ADD_FAILURE() << "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    for (auto& word : stream) word = thread_generator().next_u32();
    const auto written = write(pipe_ends[1], stream.data(), sizeof(stream));
    _exit(written == static_cast<ssize_t>(sizeof(stream)) ? 0 : 1);
  }
  close(pipe_ends[1]);
  const auto got = read(pipe_ends[0], stream.data(), sizeof(stream));
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(got, static_cast<ssize_t>(sizeof(stream)));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return stream;
}

TEST(ThreadGenerator, ForkedChildrenDrawTheirOwnStreams) {
  thread_generator().next_u32();  // the parent's generator exists before the forks
  const auto first_child = stream_of_forked_child();
  const auto second_child = stream_of_forked_child();
  std::array<std::uint32_t, 8> parent{};
  for (auto& word : parent) word = thread_generator().next_u32();
  EXPECT_NE(first_child, second_child);
  EXPECT_NE(first_child, parent);
  EXPECT_NE(second_child, parent);
}

}  // namespace
}  // namespace korvane::engine
