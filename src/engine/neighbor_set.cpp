#include "engine/neighbor_set.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace korvane::engine {
namespace {

constexpr std::uint32_t first_heap_capacity = 4;
// The smallest table: 17 entries at most half full.
constexpr std::uint32_t first_table_capacity = 64;
constexpr std::uint32_t largest_table_capacity = std::uint32_t{1} << 31;

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

}  // namespace

NeighborSet::NeighborSet(const NeighborSet& other)
    : words_(other.words_), size_(other.size_), capacity_(other.capacity_) {
  if (!other.on_heap()) return;
  const std::size_t length = other.heap_length();
  auto* const copy = new Qubit[length];
  std::copy(other.heap(), other.heap() + length, copy);
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
  if (bit_row()) return q < 64 * words_[1] && ((entries[q >> 6] >> (q & 63)) & 1U) != 0;
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

bool NeighborSet::move_to(std::uint32_t capacity, std::size_t row_words, bool may_fail) {
  const std::size_t length = capacity == bit_row_mode ? row_words : capacity;
  Qubit* fresh = nullptr;
  if (length != 0) {
    fresh = allocate_slots(length, may_fail);
    if (fresh == nullptr) return false;
  }
  // The old entries are read from a copy of the object's words, which are about to change.
  const std::array<Qubit, inline_capacity> old_words = words_;
  const bool old_on_heap = on_heap();
  const bool old_bit_row = bit_row();
  const std::size_t old_length = old_bit_row ? words_[1] : (hashed() ? capacity_ : size_);
  const Qubit* const old = old_on_heap ? heap() : old_words.data();
  auto for_each_old = [&](auto&& visit) {
    for (std::size_t i = 0; i < old_length; ++i) {
      if (old_bit_row) {
        for (Qubit bits = old[i]; bits != 0; bits &= bits - 1)
          visit(i * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
      } else if (old[i] != empty_slot) {
        visit(old[i]);
      }
    }
  };

  capacity_ = capacity;
  if (bit_row()) {
    std::fill(fresh, fresh + length, Qubit{0});
    for_each_old([fresh](Qubit q) { fresh[q >> 6] |= Qubit{1} << (q & 63); });
    words_[1] = length;
  } else if (hashed()) {
    std::fill(fresh, fresh + length, empty_slot);
    for_each_old([this, fresh](Qubit q) { place(fresh, q); });
  } else {
    Qubit* const target = length == 0 ? words_.data() : fresh;
    std::size_t next = 0;
    for_each_old([&](Qubit q) { target[next++] = q; });
  }
  if (length != 0) words_[0] = std::bit_cast<Qubit>(fresh);
  if (old_on_heap) delete[] old;
  return true;
}

void NeighborSet::reserve_one_more(std::size_t universe) {
  if (size_ == std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  std::uint32_t grown = 0;
  if (bit_row()) {
    return;
  } else if (hashed()) {
    if (2 * (std::size_t{size_} + 1) <= capacity_) return;
    grown = capacity_ < largest_table_capacity ? 2 * capacity_ : 0;
  } else if (!on_heap()) {
    if (size_ < inline_capacity) return;
    move_to(first_heap_capacity, 0, false);
    return;
  } else {
    if (size_ < capacity_) return;
    grown = capacity_ < small_capacity ? 2 * capacity_ : first_table_capacity;
    if (grown <= small_capacity) {
      move_to(grown, 0, false);
      return;
    }
  }
  if (grown == 0 || table_outgrows_row(grown, universe)) {
    move_to(bit_row_mode, row_words_for(universe), false);
  } else {
    move_to(grown, 0, false);
  }
}

void NeighborSet::insert_reserved(Qubit q) noexcept {
  if (bit_row()) {
    heap()[q >> 6] |= Qubit{1} << (q & 63);
  } else if (hashed()) {
    place(heap(), q);
  } else {
    slots()[size_] = q;
  }
  ++size_;
}

void NeighborSet::erase(Qubit q) noexcept {
  Qubit* const entries = slots();
  if (bit_row()) {
    entries[q >> 6] &= ~(Qubit{1} << (q & 63));
    --size_;
    // Far below the size that made it a bit row, the set goes back to a table (or less).
    if (2048 * std::size_t{size_} < 64 * words_[1]) {
      std::uint32_t smaller = 0;
      if (size_ > small_capacity / 2) {
        smaller = std::max(first_table_capacity, std::bit_ceil(4 * size_));
      } else if (size_ > inline_capacity) {
        smaller = small_capacity;
      }
      move_to(smaller, 0, true);
    }
    return;
  }
  if (!hashed()) {
    Qubit* const found = std::find(entries, entries + size_, q);
    *found = entries[--size_];
    // Two entries fit in the object: the heap storage goes, which needs no allocation.
    if (on_heap() && size_ <= inline_capacity) move_to(0, 0, true);
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
    move_to(smaller, 0, true);
  }
}

void NeighborSet::clear() noexcept {
  release();
  size_ = 0;
  capacity_ = 0;
}

}  // namespace korvane::engine
