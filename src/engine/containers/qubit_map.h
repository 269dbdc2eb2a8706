// A map from qubit indices to values whose references stay valid while other values are added:
// the values sit in a deque, which never moves them and takes its storage in blocks, and are
// found through an open-addressing index of their keys. Values are never removed one by one; they
// all go with the map.
#pragma once

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

#include "../base.h"
#include "open_addressing.h"

namespace korvane::engine {

template <class Value>
class QubitMap {
 public:
  QubitMap() = default;
  // The index points into the values: a copy would point into the original.
  QubitMap(const QubitMap&) = delete;
  QubitMap& operator=(const QubitMap&) = delete;
  QubitMap(QubitMap&&) noexcept = default;
  QubitMap& operator=(QubitMap&&) noexcept = default;
  ~QubitMap() = default;

  std::size_t size() const noexcept { return count_; }

  // q's value, or null when it has none.
  const Value* find(Qubit q) const {
    const std::size_t slot = slot_of(q);
    return slot == no_slot ? nullptr : index_[slot].value;
  }

  // q's value, made by `make()` first when q has none. Throws what `make` throws, or
  // std::bad_alloc, with the map unchanged.
  template <class Make>
  Value& find_or_make(Qubit q, Make&& make) {
    std::size_t slot = index_.empty() ? no_slot : find_slot(q);
    if (slot != no_slot && index_[slot].key == q) return *index_[slot].value;
    if (slot == no_slot || slots_per_value * (count_ + 1) > index_.size()) {
      grow();
      slot = find_slot(q);
    }
    Value& value = values_.emplace_back(std::forward<Make>(make)());
    index_[slot] = Slot{q, &value};
    ++count_;
    return value;
  }

 private:
  struct Slot {
    Qubit key = open_addressing::empty_slot;
    Value* value = nullptr;  // in values_, which never moves it
  };

  static constexpr std::size_t no_slot = ~std::size_t{0};
  static constexpr std::size_t first_index_slots = 16;
  // The index keeps at least this many slots per value.
  static constexpr std::size_t slots_per_value = 2;

  // The slot holding q, or the empty slot where the search for it ends.
  std::size_t find_slot(Qubit q) const {
    return open_addressing::find_slot(index_.data(), index_.size(), q);
  }
  std::size_t slot_of(Qubit q) const {
    if (index_.empty()) return no_slot;
    const std::size_t slot = find_slot(q);
    return index_[slot].key == q ? slot : no_slot;
  }

  void grow() {
    std::vector<Slot> larger(index_.empty() ? first_index_slots : 2 * index_.size());
    for (const Slot& slot : index_) {
      if (slot.key != open_addressing::empty_slot) {
        open_addressing::insert(larger.data(), larger.size(), slot);
      }
    }
    index_ = std::move(larger);
  }

  std::vector<Slot> index_;
  std::deque<Value> values_;
  std::size_t count_ = 0;
};

}  // namespace korvane::engine
