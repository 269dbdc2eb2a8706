// Open-addressing tables of qubit indices and the map built on them: searches that wrap around
// the end of the table, deletion that leaves no marker behind, and map values that stay put.
#include "korvane/engine/containers/open_addressing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <set>
#include <vector>

#include "korvane/engine/containers/qubit_map.h"
#include "scripted_source.h"

namespace korvane::engine {
namespace {

namespace table = open_addressing;

constexpr std::size_t capacity = 64;

// Keys whose search starts in one of the last slots, so that their run wraps to the front.
std::vector<Qubit> keys_homed_at_the_end(std::size_t count) {
  std::vector<Qubit> keys;
  for (Qubit q = 0; keys.size() < count; ++q)
    if (table::home_slot(q, capacity) >= capacity - 2) keys.push_back(q);
  return keys;
}

// Every key of `model` is found, every other slot is empty, and nothing else is found.
void expect_holds(const std::vector<Qubit>& slots, const std::set<Qubit>& model) {
  for (const Qubit q : model) EXPECT_EQ(slots[table::find_slot(slots.data(), capacity, q)], q);
  const auto filled = static_cast<std::size_t>(
      std::count_if(slots.begin(), slots.end(), [](Qubit s) { return s != table::empty_slot; }));
  EXPECT_EQ(filled, model.size());
  EXPECT_EQ(slots[table::find_slot(slots.data(), capacity, ~Qubit{0} - 1)], table::empty_slot);
}

TEST(OpenAddressing, RunsWrapAroundAndDeletionLeavesNoMarkers) {
  const std::vector<Qubit> wrapping = keys_homed_at_the_end(12);
  std::vector<Qubit> slots(capacity, table::empty_slot);
  std::set<Qubit> model;
  for (const Qubit q : wrapping) {
    table::insert(slots.data(), capacity, q);
    model.insert(q);
  }
  EXPECT_NE(slots[0], table::empty_slot);  // the run reached the front
  expect_holds(slots, model);
  // Deleting from the middle of the run, at its wrap and at its end.
  for (const std::size_t i : {5U, 1U, 11U, 0U}) {
    table::erase_slot(slots.data(), capacity,
                      table::find_slot(slots.data(), capacity, wrapping[i]));
    model.erase(wrapping[i]);
    expect_holds(slots, model);
  }
}

TEST(OpenAddressing, AgreesWithAnOrderedSet) {
  testing::SeededSource random(9);
  std::vector<Qubit> slots(capacity, table::empty_slot);
  std::set<Qubit> model;
  for (int step = 0; step < 20000; ++step) {
    const Qubit q = random.below(200);
    const bool present = model.count(q) != 0;
    ASSERT_EQ(slots[table::find_slot(slots.data(), capacity, q)] == q, present);
    if (present) {
      table::erase_slot(slots.data(), capacity, table::find_slot(slots.data(), capacity, q));
      model.erase(q);
    } else if (2 * (model.size() + 1) <= capacity) {
      table::insert(slots.data(), capacity, q);
      model.insert(q);
    }
  }
  expect_holds(slots, model);
}

TEST(QubitMap, ValuesStayWhereTheyAreWhileTheMapGrows) {
  QubitMap<std::size_t> map;
  EXPECT_EQ(map.find(3), nullptr);
  std::vector<const std::size_t*> addresses;
  for (Qubit q = 0; q < 1000; ++q) {
    std::size_t& value = map.find_or_make(q * 64, [q] { return q; });
    addresses.push_back(&value);
  }
  EXPECT_EQ(map.size(), 1000U);
  for (Qubit q = 0; q < 1000; ++q) {
    EXPECT_EQ(map.find(q * 64), addresses[q]);
    EXPECT_EQ(*map.find(q * 64), q);
    // A present key is found, not made again.
    EXPECT_EQ(&map.find_or_make(q * 64, [] { return std::size_t{0}; }), addresses[q]);
  }
  EXPECT_EQ(map.find(1), nullptr);
  EXPECT_EQ(map.size(), 1000U);
}

}  // namespace
}  // namespace korvane::engine
