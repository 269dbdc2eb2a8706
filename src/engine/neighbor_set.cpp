#include "engine/neighbor_set.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <utility>

namespace korvane::engine {
namespace {

constexpr std::uint32_t first_heap_capacity = 4;
// The smallest table: 17 entries at most half full.
constexpr std::uint32_t first_table_capacity = 64;
constexpr std::uint32_t largest_table_capacity = std::uint32_t{1} << 30;

Qubit* allocate_slots(std::size_t length, bool may_fail) {
  if (may_fail) return new (std::nothrow) Qubit[length];
  return new Qubit[length];
}

std::size_t row_words_for(std::size_t universe) {
  return std::max<std::size_t>(1, (universe + 63) / 64);
}

// Whether a table of `capacity` slots (8 bytes each) would take more room than a bit row over
// the register (`universe` bits).
bool table_outgrows_row(std::size_t capacity, std::size_t universe) {
  return capacity > universe / 64;
}

// Fibonacci hashing: the top bits of the product spread any pattern of indices apart.
std::size_t home_slot(Qubit q, std::size_t capacity) {
  const int shift = 64 - std::countr_zero(capacity);
  return static_cast<std::size_t>((static_cast<std::uint64_t>(q) * 0x9E3779B97F4A7C15ULL) >> shift);
}

// An unused slot of a table: never a qubit index, since registers cannot be that large.
constexpr Qubit unused_slot = ~Qubit{0};

void place(Qubit* table, std::size_t capacity, Qubit q) {
  const std::size_t mask = capacity - 1;
  std::size_t i = home_slot(q, capacity);
  while (table[i] != unused_slot) i = (i + 1) & mask;
  table[i] = q;
}

}  // namespace

NeighborSet::NeighborSet(const NeighborSet& other)
    : storage_(other.storage_), size_(other.size_), capacity_(other.capacity_) {
  if (!other.on_heap()) return;
  const std::size_t length = other.heap_length();
  storage_.heap = new Qubit[length];
  std::copy(other.heap(), other.heap() + length, storage_.heap);
}

NeighborSet& NeighborSet::operator=(const NeighborSet& other) {
  if (this != &other) {
    NeighborSet copy(other);
    *this = std::move(copy);
  }
  return *this;
}

NeighborSet::NeighborSet(NeighborSet&& other) noexcept
    : storage_(other.storage_), size_(other.size_), capacity_(other.capacity_) {
  other.size_ = 0;
  other.capacity_ = 0;
}

NeighborSet& NeighborSet::operator=(NeighborSet&& other) noexcept {
  if (this != &other) {
    release();
    storage_ = other.storage_;
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

NeighborSet::~NeighborSet() { release(); }

void NeighborSet::release() noexcept {
  if (on_heap()) delete[] heap();
}

bool NeighborSet::contains_on_heap(Qubit q) const noexcept {
  const Qubit* const entries = heap();
  if (bit_row()) return q < 64 * row_words() && ((entries[q >> 6] >> (q & 63)) & 1U) != 0;
  if (!hashed()) return std::find(entries, entries + size_, q) != entries + size_;
  const std::size_t mask = capacity_ - 1;
  for (std::size_t i = home_slot(q, capacity_);; i = (i + 1) & mask) {
    if (entries[i] == q) return true;
    if (entries[i] == empty_slot) return false;
  }
}

bool NeighborSet::move_to(std::uint32_t capacity, bool may_fail) {
  if (capacity == 0) {
    // Into the object itself: no allocation, but only for entries of 32 bits.
    std::array<Qubit, inline_capacity> kept{};
    std::uint32_t count = 0;
    bool fits = size_ <= inline_capacity;
    for_each([&](Qubit q) {
      if (q >= inline_limit || count == inline_capacity) {
        fits = false;
      } else {
        kept[count++] = q;
      }
    });
    if (!fits) return false;
    release();
    capacity_ = 0;
    storage_.pair = 0;
    for (std::uint32_t i = 0; i < count; ++i) set_inline_entry(i, kept[i]);
    return true;
  }
  const bool row = (capacity & row_flag) != 0;
  const std::size_t length = row ? capacity & ~row_flag : capacity;
  Qubit* const fresh = allocate_slots(length, may_fail);
  if (fresh == nullptr) return false;
  if (row) {
    std::fill(fresh, fresh + length, Qubit{0});
    for_each([fresh](Qubit q) { fresh[q >> 6] |= Qubit{1} << (q & 63); });
  } else if (capacity > small_capacity) {
    std::fill(fresh, fresh + length, empty_slot);
    for_each([fresh, length](Qubit q) { place(fresh, length, q); });
  } else {
    std::size_t next = 0;
    for_each([&](Qubit q) { fresh[next++] = q; });
  }
  release();
  storage_.heap = fresh;
  capacity_ = capacity;
  return true;
}

void NeighborSet::reserve_growing(std::size_t universe) {
  if (size_ == std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  std::uint32_t grown = 0;
  if (bit_row()) {
    return;
  } else if (hashed()) {
    if (2 * (std::size_t{size_} + 1) <= capacity_) return;
    grown = capacity_ < largest_table_capacity ? 2 * capacity_ : 0;
  } else if (!on_heap()) {
    // In-place storage is full, or the register has entries too wide for it.
    move_to(first_heap_capacity, false);
    return;
  } else {
    if (size_ < capacity_) return;
    grown = capacity_ < small_capacity ? 2 * capacity_ : first_table_capacity;
    if (grown <= small_capacity) {
      move_to(grown, false);
      return;
    }
  }
  if (grown == 0 || table_outgrows_row(grown, universe)) {
    const std::size_t words = row_words_for(universe);
    if (words >= row_flag) throw std::bad_alloc();
    move_to(row_flag | static_cast<std::uint32_t>(words), false);
  } else {
    move_to(grown, false);
  }
}

void NeighborSet::insert_on_heap(Qubit q) noexcept {
  if (bit_row()) {
    heap()[q >> 6] |= Qubit{1} << (q & 63);
  } else if (hashed()) {
    place(heap(), capacity_, q);
  } else {
    heap()[size_] = q;
  }
  ++size_;
}

void NeighborSet::erase_on_heap(Qubit q) noexcept {
  Qubit* const entries = heap();
  if (bit_row()) {
    entries[q >> 6] &= ~(Qubit{1} << (q & 63));
    --size_;
    // Far below the size that made it a bit row, the set goes back to a table (or less).
    if (2048 * std::size_t{size_} < 64 * row_words()) {
      std::uint32_t smaller = 0;
      if (size_ > small_capacity / 2) {
        smaller = std::max(first_table_capacity, std::bit_ceil(4 * size_));
      } else if (size_ > inline_capacity) {
        smaller = small_capacity;
      }
      if (!move_to(smaller, true) && smaller == 0) move_to(first_heap_capacity, true);
    }
    return;
  }
  if (!hashed()) {
    Qubit* const found = std::find(entries, entries + size_, q);
    *found = entries[--size_];
    // Two entries fit in the object: the heap storage goes, which needs no allocation.
    if (size_ <= inline_capacity) move_to(0, true);
    return;
  }
  const std::size_t mask = capacity_ - 1;
  std::size_t hole = home_slot(q, capacity_);
  while (entries[hole] != q) hole = (hole + 1) & mask;
  // Backward shift: later entries of the probe run move into the hole when their home slot
  // does not lie cyclically between the hole and where they are.
  for (std::size_t next = (hole + 1) & mask; entries[next] != empty_slot;
       next = (next + 1) & mask) {
    const std::size_t home = home_slot(entries[next], capacity_);
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
    if (!move_to(smaller, true) && smaller == 0) move_to(small_capacity, true);
  }
}

void NeighborSet::clear() noexcept {
  release();
  storage_.pair = 0;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace korvane::engine
