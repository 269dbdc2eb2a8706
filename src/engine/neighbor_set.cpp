#include "engine/neighbor_set.h"

#include <algorithm>
#include <new>
#include <utility>

namespace korvane::engine {
namespace {

constexpr std::uint32_t first_heap_capacity = 4;
// The smallest table: 17 entries at most half full.
constexpr std::uint32_t first_table_capacity = 64;
constexpr std::uint32_t largest_capacity = std::uint32_t{1} << 31;

Qubit* allocate_slots(std::uint32_t capacity, bool may_fail) {
  if (may_fail) return new (std::nothrow) Qubit[capacity];
  return new Qubit[capacity];
}

}  // namespace

NeighborSet::NeighborSet(const NeighborSet& other)
    : words_(other.words_), size_(other.size_), capacity_(other.capacity_) {
  if (!other.on_heap()) return;
  Qubit* const copy = new Qubit[other.capacity_];
  std::copy(other.heap(), other.heap() + other.capacity_, copy);
  words_[0] = std::bit_cast<Qubit>(copy);
}

NeighborSet& NeighborSet::operator=(const NeighborSet& other) {
  if (this != &other) {
    NeighborSet copy(other);
    *this = std::move(copy);
  }
  return *this;
}

NeighborSet::NeighborSet(NeighborSet&& other) noexcept
    : words_(other.words_), size_(other.size_), capacity_(other.capacity_) {
  other.size_ = 0;
  other.capacity_ = 0;
}

NeighborSet& NeighborSet::operator=(NeighborSet&& other) noexcept {
  if (this != &other) {
    release();
    words_ = other.words_;
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

NeighborSet::~NeighborSet() { release(); }

void NeighborSet::release() noexcept {
  if (on_heap()) delete[] heap();
}

std::size_t NeighborSet::home_slot(Qubit q) const noexcept {
  // Fibonacci hashing: the top bits of the product spread any pattern of indices apart.
  const int shift = 64 - std::countr_zero(capacity_);
  return static_cast<std::size_t>((static_cast<std::uint64_t>(q) * 0x9E3779B97F4A7C15ULL) >> shift);
}

bool NeighborSet::contains(Qubit q) const noexcept {
  const Qubit* const entries = slots();
  if (!hashed()) return std::find(entries, entries + size_, q) != entries + size_;
  const std::size_t mask = capacity_ - 1;
  for (std::size_t i = home_slot(q);; i = (i + 1) & mask) {
    if (entries[i] == q) return true;
    if (entries[i] == empty_slot) return false;
  }
}

void NeighborSet::place(Qubit* table, Qubit q) const noexcept {
  const std::size_t mask = capacity_ - 1;
  std::size_t i = home_slot(q);
  while (table[i] != empty_slot) i = (i + 1) & mask;
  table[i] = q;
}

bool NeighborSet::move_to(std::uint32_t capacity, bool may_fail) {
  Qubit* fresh = nullptr;
  if (capacity != 0) {
    fresh = allocate_slots(capacity, may_fail);
    if (fresh == nullptr) return false;
  }
  // The entries are copied out first: the object's own words are about to be overwritten.
  const bool old_on_heap = on_heap();
  const std::size_t old_count = slot_count();
  const std::array<Qubit, inline_capacity> old_words = words_;
  const Qubit* const old = old_on_heap ? heap() : old_words.data();
  Qubit* const target = capacity == 0 ? words_.data() : fresh;
  capacity_ = capacity;
  if (hashed()) {
    std::fill(target, target + capacity, empty_slot);
    for (std::size_t i = 0; i < old_count; ++i)
      if (old[i] != empty_slot) place(target, old[i]);
  } else {
    std::size_t next = 0;
    for (std::size_t i = 0; i < old_count; ++i)
      if (old[i] != empty_slot) target[next++] = old[i];
  }
  if (old_on_heap) delete[] old;
  if (capacity != 0) words_[0] = std::bit_cast<Qubit>(fresh);
  return true;
}

void NeighborSet::reserve_one_more() {
  if (!hashed()) {
    const std::uint32_t room = on_heap() ? capacity_ : inline_capacity;
    if (size_ < room) return;
    if (!on_heap()) {
      move_to(first_heap_capacity, false);
    } else {
      move_to(capacity_ < small_capacity ? 2 * capacity_ : first_table_capacity, false);
    }
    return;
  }
  if (2 * (std::size_t{size_} + 1) <= capacity_) return;
  if (capacity_ >= largest_capacity) throw std::bad_alloc();
  move_to(2 * capacity_, false);
}

void NeighborSet::insert_reserved(Qubit q) noexcept {
  if (hashed()) {
    place(heap(), q);
  } else {
    slots()[size_] = q;
  }
  ++size_;
}

void NeighborSet::erase(Qubit q) noexcept {
  Qubit* const entries = slots();
  if (!hashed()) {
    Qubit* const found = std::find(entries, entries + size_, q);
    *found = entries[--size_];
    // Two entries fit in the object: the heap storage goes, which needs no allocation.
    if (on_heap() && size_ <= inline_capacity) move_to(0, true);
    return;
  }
  const std::size_t mask = capacity_ - 1;
  std::size_t hole = home_slot(q);
  while (entries[hole] != q) hole = (hole + 1) & mask;
  // Backward shift: later entries of the probe run move into the hole when their home slot
  // does not lie cyclically between the hole and where they are.
  for (std::size_t next = (hole + 1) & mask; entries[next] != empty_slot;
       next = (next + 1) & mask) {
    const std::size_t home = home_slot(entries[next]);
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!stays) {
      entries[hole] = entries[next];
      hole = next;
    }
  }
  entries[hole] = empty_slot;
  --size_;
  if (8 * std::size_t{size_} < capacity_) {
    std::uint32_t smaller = std::max(first_table_capacity, capacity_ / 4);
    if (size_ <= small_capacity / 2) smaller = size_ <= inline_capacity ? 0 : small_capacity;
    move_to(smaller, true);
  }
}

void NeighborSet::clear() noexcept {
  release();
  size_ = 0;
  capacity_ = 0;
}

}  // namespace korvane::engine
