// Hash tables of qubit indices by open addressing: a power-of-two number of slots, each holding a
// key or `empty_slot`. The search for a key starts at its home slot and runs on, wrapping at the
// end, to the slot that holds it or to the first empty slot. Tables are kept at most half full so
// that runs stay short, and deletion moves later entries of a run back instead of leaving
// markers, so that every search can stop at the first empty slot.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "../base.h"

namespace korvane::engine::open_addressing {

// Never a qubit index: registers cannot be that large.
inline constexpr Qubit empty_slot = ~Qubit{0};

// Fibonacci hashing: the top bits of the product with 2^64 divided by the golden ratio spread any
// pattern of indices apart.
inline constexpr std::uint64_t fibonacci_multiplier = 0x9E3779B97F4A7C15ULL;

// Where the search for `key` starts, in a table of `capacity` slots (a power of two, at least 2).
inline std::size_t home_slot(Qubit key, std::size_t capacity) {
  const int shift = static_cast<int>(word_bits) - std::countr_zero(capacity);
  return static_cast<std::size_t>((static_cast<std::uint64_t>(key) * fibonacci_multiplier) >>
                                  shift);
}

inline std::size_t next_slot(std::size_t slot, std::size_t capacity) {
  return (slot + 1) & (capacity - 1);
}

// A slot is a key (Qubit), or a struct whose member `key` is one, with a value beside it.
template <class Slot>
constexpr Qubit key_of(const Slot& slot) {
  if constexpr (std::is_same_v<Slot, Qubit>) {
    return slot;
  } else {
    return slot.key;
  }
}

// The slot that holds `key`, or the empty slot where the search for it ends.
template <class Slot>
std::size_t find_slot(const Slot* slots, std::size_t capacity, Qubit key) {
  std::size_t slot = home_slot(key, capacity);
  while (key_of(slots[slot]) != key && key_of(slots[slot]) != empty_slot) {
    slot = next_slot(slot, capacity);
  }
  return slot;
}

// Stores `entry`, whose key must be absent, in a table with an empty slot; returns its slot.
template <class Slot>
std::size_t insert(Slot* slots, std::size_t capacity, const Slot& entry) {
  const std::size_t slot = find_slot(slots, capacity, key_of(entry));
  slots[slot] = entry;
  return slot;
}

// Empties slot `hole` of a table of keys. Each later entry of the run moves back into the hole
// unless its home slot lies cyclically after the hole and no later than where the entry is, so
// every key stays reachable from its home slot.
inline void erase_slot(Qubit* slots, std::size_t capacity, std::size_t hole) {
  for (std::size_t next = next_slot(hole, capacity); slots[next] != empty_slot;
       next = next_slot(next, capacity)) {
    const std::size_t home = home_slot(slots[next], capacity);
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!stays) {
      slots[hole] = slots[next];
      hole = next;
    }
  }
  slots[hole] = empty_slot;
}

}  // namespace korvane::engine::open_addressing
