// The neighbour set against std::set, and the storage it takes at every size on the way up and
// down: every change of form, the sizes where it happens, and the room it leaves.
#include "korvane/engine/containers/neighbor_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <set>
#include <vector>

#include "scripted_source.h"

namespace korvane::engine {
namespace {

using Form = NeighborSet::Form;

std::vector<Qubit> entries_of(const NeighborSet& set) {
  std::vector<Qubit> entries;
  set.for_each([&entries](Qubit q) { entries.push_back(q); });
  std::sort(entries.begin(), entries.end());
  return entries;
}

// Random insertions and removals against std::set, growing through every form and shrinking
// back, with clustered values so that probe runs wrap and collide; with a pool and without.
TEST(NeighborSet, AgreesWithAnOrderedSetThroughGrowthAndShrinking) {
  testing::SeededSource random(7);
  SmallArrayPool pool;
  for (const std::size_t range : {8U, 40U, 300U, 5000U, 8U, 40U}) {
    const SetMemory memory{64 * range, range == 5000 || random.below(2) == 0 ? &pool : nullptr};
    NeighborSet set;
    std::set<Qubit> model;
    for (int step = 0; step < 20000; ++step) {
      // Grow for the first half, then mostly shrink.
      const bool growing = step < 10000 ? random.below(4) != 0 : random.below(4) == 0;
      const Qubit q = random.below(range) * 64;  // multiples of 64 share low bits
      const bool present = model.count(q) != 0;
      ASSERT_EQ(set.contains(q), present);
      if (growing && set.has_room_in_object() && random.below(2) == 0) {
        // The way a build adds to a set with room in its object: nothing when q is there.
        ASSERT_EQ(set.insert_new_into_object_room(q), !present);
        model.insert(q);
      } else if (growing && !present) {
        set.reserve_one_more(memory);
        set.insert_reserved(q);
        model.insert(q);
      } else if (!growing && present) {
        set.erase(q, memory);
        model.erase(q);
      }
      ASSERT_EQ(set.size(), model.size());
      ASSERT_LE(set.size(), set.capacity());
    }
    EXPECT_EQ(entries_of(set), std::vector<Qubit>(model.begin(), model.end()));
    const NeighborSet copy = set;
    EXPECT_EQ(entries_of(copy), entries_of(set));
    for (const Qubit q : model) set.erase(q, memory);
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(entries_of(copy).size(), model.size());
  }
}

// A change of storage: from this size on, this form with room for this many entries.
struct Step {
  std::size_t size;
  Form form;
  std::size_t capacity;
  bool operator==(const Step&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Step& step) {
  return out << "{" << step.size << ", form " << static_cast<int>(step.form) << ", "
             << step.capacity << "}";
}

struct Walk {
  std::vector<Step> up;
  std::vector<Step> down;
};

// Inserts `keys` one by one, then erases them in the same order, recording every change of
// storage and checking the entries and the room after each step.
Walk walk(const std::vector<Qubit>& keys, const SetMemory& memory) {
  NeighborSet set;
  Walk walk;
  auto record = [&set](std::vector<Step>& steps) {
    const Step now{set.size(), set.form(), set.capacity()};
    if (steps.empty() || now.form != steps.back().form || now.capacity != steps.back().capacity) {
      steps.push_back(now);
    }
    EXPECT_LE(set.size(), set.capacity());
  };
  std::set<Qubit> model;
  for (const Qubit q : keys) {
    set.reserve_one_more(memory);
    set.insert_reserved(q);
    model.insert(q);
    record(walk.up);
  }
  EXPECT_EQ(entries_of(set), std::vector<Qubit>(model.begin(), model.end()));
  for (const Qubit q : keys) {
    set.erase(q, memory);
    model.erase(q);
    record(walk.down);
    EXPECT_EQ(entries_of(set), std::vector<Qubit>(model.begin(), model.end()));
  }
  return walk;
}

std::vector<Qubit> spread_keys(std::size_t count, std::size_t universe, Qubit first = 0) {
  std::vector<Qubit> keys;
  for (std::size_t i = 0; i < count; ++i) keys.push_back(first + (i * 7) % universe);
  return keys;
}

// Four entries fit in the object; a pool's arrays take a set to 16 entries, and a set without a
// pool takes packed heap arrays instead. A table holds at most half its slots; a set becomes a
// bit row once it holds one qubit in 256 of the universe, or once its table would take more words
// than the row. Going down, a table shrinks below an eighth full, a row below one entry in 1024
// bits, an array less than half full moves to a smaller one, and four entries go back into the
// object.
TEST(NeighborSet, FormsOnTheWayUpAndDown) {
  const std::vector<Step> pooled_forms{{1, Form::in_object, 4},
                                       {5, Form::pooled, 6},
                                       {7, Form::pooled, 9},
                                       {10, Form::pooled, 12},
                                       {13, Form::pooled, 16}};
  const std::vector<Step> packed_forms{
      {1, Form::in_object, 4}, {5, Form::packed, 8}, {9, Form::packed, 16}};
  struct Case {
    std::size_t universe;
    bool pooled;
    std::vector<Step> up_from_table;
    std::vector<Step> down;
  };
  const std::vector<Case> cases{
      // No table: 64 slots would outweigh a row of 16 words.
      {1000, true, {{17, Form::bit_row, 1024}}, {{0, Form::in_object, 4}}},
      // 20 entries are one in 250; the row shrinks with 4 entries, into the object.
      {5000, true, {{17, Form::table, 64}, {20, Form::bit_row, 5056}}, {{4, Form::in_object, 4}}},
      // A row from 67 entries (one in 254), before the table of 256 slots is full.
      {17000,
       true,
       {{17, Form::table, 64},
        {33, Form::table, 128},
        {65, Form::table, 256},
        {67, Form::bit_row, 17024}},
       {{16, Form::table, 64}, {7, Form::pooled, 9}, {4, Form::in_object, 4}}},
      {17000,
       false,
       {{17, Form::table, 64},
        {33, Form::table, 128},
        {65, Form::table, 256},
        {67, Form::bit_row, 17024}},
       {{16, Form::table, 64}, {7, Form::packed, 16}, {4, Form::in_object, 4}}},
      // The row shrinks with 19 entries into a table a quarter full, which shrinks at 15 and 7.
      {20000,
       true,
       {{17, Form::table, 64},
        {33, Form::table, 128},
        {65, Form::table, 256},
        {79, Form::bit_row, 20032}},
       {{19, Form::table, 128},
        {15, Form::table, 64},
        {7, Form::pooled, 9},
        {4, Form::in_object, 4}}},
  };
  for (const Case& test : cases) {
    SmallArrayPool pool;
    const std::size_t count = test.up_from_table.back().size;
    const SetMemory memory{test.universe, test.pooled ? &pool : nullptr};
    const Walk result = walk(spread_keys(count, test.universe), memory);
    std::vector<Step> up = test.pooled ? pooled_forms : packed_forms;
    up.insert(up.end(), test.up_from_table.begin(), test.up_from_table.end());
    EXPECT_EQ(result.up, up) << "universe " << test.universe;
    // The first recorded step going down is the storage the set had when full.
    const std::vector<Step> down(result.down.begin() + 1, result.down.end());
    EXPECT_EQ(down, test.down) << "universe " << test.universe;
  }
}

// Indices of 32 bits or more never go into the object nor into a pool: such a set starts packed,
// and shrinks into the object only once empty.
TEST(NeighborSet, WideIndicesStayOutOfTheObject) {
  SmallArrayPool pool;
  const std::size_t universe = std::size_t{1} << 40;
  const Walk result =
      walk(spread_keys(40, universe, std::size_t{1} << 32), SetMemory{universe, &pool});
  const std::vector<Step> up{{1, Form::packed, 4},
                             {5, Form::packed, 8},
                             {9, Form::packed, 16},
                             {17, Form::table, 64},
                             {33, Form::table, 128}};
  EXPECT_EQ(result.up, up);
  const std::vector<Step> down{{39, Form::table, 128},
                               {15, Form::table, 64},
                               {7, Form::packed, 16},
                               {0, Form::in_object, 4}};
  EXPECT_EQ(result.down, down);
  EXPECT_EQ(pool.slab_bytes(), 0U);
}

// Copies share nothing with their original: without a pool a pooled set's copy is packed, with
// one it takes an array of that pool.
TEST(NeighborSet, CopiesAndMovesOfEveryFormAreIndependent) {
  for (const std::size_t count : {2U, 10U, 40U, 200U}) {
    SmallArrayPool pool;
    SmallArrayPool other_pool;
    const SetMemory memory{5000, &pool};
    NeighborSet set;
    for (const Qubit q : spread_keys(count, 5000)) {
      set.reserve_one_more(memory);
      set.insert_reserved(q);
    }
    const std::vector<Qubit> entries = entries_of(set);
    NeighborSet copy = set;
    EXPECT_NE(copy.form(), Form::pooled);
    copy.erase(entries.front(), SetMemory{5000, nullptr});
    NeighborSet pooled_copy(set, other_pool);
    EXPECT_EQ(pooled_copy.form(), set.form());
    pooled_copy.erase(entries.back(), SetMemory{5000, &other_pool});
    EXPECT_EQ(entries_of(set), entries);
    NeighborSet moved = std::move(set);
    EXPECT_EQ(entries_of(moved), entries);
    EXPECT_TRUE(set.empty());  // a moved-from set is empty and usable
    copy = moved;
    EXPECT_EQ(entries_of(copy), entries);
    copy.clear(SetMemory{5000, nullptr});
    EXPECT_EQ(copy.form(), Form::in_object);
    EXPECT_EQ(entries_of(moved), entries);
    EXPECT_EQ(entries_of(pooled_copy).size(), entries.size() - 1);
    moved.clear(memory);
    pooled_copy.clear(SetMemory{5000, &other_pool});
  }
}

// A released array is the next one of its class, so a set moving between classes reuses memory.
TEST(SmallArrayPool, ReusesReleasedArraysOfTheSameClass) {
  SmallArrayPool pool;
  std::uint32_t* const first = pool.allocate(0);
  std::uint32_t* const second = pool.allocate(0);
  std::uint32_t* const larger = pool.allocate(3);
  EXPECT_EQ(second, first + SmallArrayPool::class_entries[0]);
  pool.release(0, first);
  EXPECT_EQ(pool.allocate(3), larger + SmallArrayPool::class_entries[3]);
  EXPECT_EQ(pool.allocate(0), first);
  EXPECT_EQ(pool.slab_bytes(), 2 * 4096U);
}

}  // namespace
}  // namespace korvane::engine
