#include "neighbor_set.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <new>
#include <utility>

namespace korvane::engine {
namespace {

constexpr std::size_t first_packed_capacity = 4;
// The smallest table: the overflow of a full packed array fits it at most half full.
constexpr std::size_t first_table_capacity = 64;
constexpr std::size_t largest_table_capacity = std::size_t{1} << 30;
// A table grows before fewer than this many slots per entry would remain.
constexpr std::size_t table_slots_per_entry = 2;
// A table shrinks, to a quarter of its slots, once it is less than an eighth full.
constexpr std::size_t table_shrink_below = 8;
constexpr std::size_t table_shrink_factor = 4;
// A bit row shrinks once fewer than one bit in this many is set, into a table a quarter full.
constexpr std::size_t row_bits_per_entry_to_shrink = 1024;
constexpr std::size_t slots_per_entry_after_row = 4;
// A shrinking table or row becomes a packed array once the entries fill at most half of one.
constexpr std::size_t packed_after_shrink = NeighborSet::packed_capacity / 2;

Qubit* allocate_slots(std::size_t length, bool may_fail) {
  if (may_fail) return new (std::nothrow) Qubit[length];
  return new Qubit[length];
}

// Whether a table of `capacity` slots (a word each) would take more room than a bit row over
// the register (`universe` bits).
bool table_outgrows_row(std::size_t capacity, std::size_t universe) {
  return capacity > universe / word_bits;
}

// Whether `entries` entries among `universe` qubits are kept as a bit row.
bool row_is_due(std::size_t entries, std::size_t universe) {
  return entries * NeighborSet::row_bits_per_entry_to_grow >= universe;
}

// A bit row over `universe` qubits has at least one word.
std::size_t row_words(std::size_t universe) {
  return std::max<std::size_t>(1, words_for(universe));
}

}  // namespace

NeighborSet::NeighborSet(const NeighborSet& other)
    : entries_(other.entries_), size_(other.size_), form_(other.form_) {
  if (form_ == Form::in_object) return;
  const std::size_t length = 1 + other.heap_length();
  entries_.heap = new Qubit[length];
  std::copy(other.entries_.heap, other.entries_.heap + length, entries_.heap);
}

NeighborSet& NeighborSet::operator=(const NeighborSet& other) {
  if (this != &other) {
    NeighborSet copy(other);
    *this = std::move(copy);
  }
  return *this;
}

NeighborSet::NeighborSet(NeighborSet&& other) noexcept
    : entries_(other.entries_),
      size_(std::exchange(other.size_, 0)),
      form_(std::exchange(other.form_, Form::in_object)) {}

NeighborSet& NeighborSet::operator=(NeighborSet&& other) noexcept {
  if (this != &other) {
    release();
    entries_ = other.entries_;
    size_ = std::exchange(other.size_, 0);
    form_ = std::exchange(other.form_, Form::in_object);
  }
  return *this;
}

NeighborSet::~NeighborSet() { release(); }

void NeighborSet::release() noexcept {
  if (form_ != Form::in_object) delete[] entries_.heap;
}

void NeighborSet::clear() noexcept {
  release();
  entries_.pair = 0;
  size_ = 0;
  form_ = Form::in_object;
}

std::size_t NeighborSet::capacity() const noexcept {
  switch (form_) {
    case Form::in_object:
      return in_object_capacity;
    case Form::bit_row:
      return heap_length() * word_bits;
    case Form::packed:
    case Form::table:
      break;
  }
  return heap_length();
}

bool NeighborSet::contains_on_heap(Qubit q) const noexcept {
  const Qubit* const entries = slots();
  switch (form_) {
    case Form::bit_row:
      return q < capacity() && test_bit(row(), q);
    case Form::table:
      return entries[open_addressing::find_slot(entries, capacity(), q)] == q;
    case Form::packed:
    case Form::in_object:
      break;
  }
  return std::find(entries, entries + size_, q) != entries + size_;
}

bool NeighborSet::move_into_object() noexcept {
  if (size_ > in_object_capacity) return false;
  std::array<Qubit, in_object_capacity> kept{};
  std::size_t count = 0;
  bool fits = true;
  for_each([&](Qubit q) {
    fits = fits && q < in_object_limit;
    kept[count++] = q;
  });
  if (!fits) return false;
  release();
  form_ = Form::in_object;
  entries_.pair = 0;
  for (std::uint32_t i = 0; i < count; ++i) set_in_object_entry(i, kept[i]);
  return true;
}

bool NeighborSet::move_to(Form form, std::size_t length, bool may_fail) {
  Qubit* const fresh = allocate_slots(1 + length, may_fail);
  if (fresh == nullptr) return false;
  fresh[0] = length;
  Qubit* const fresh_slots = fresh + 1;
  if (form == Form::bit_row) {
    const BitRow bits(fresh_slots, length);
    std::fill(bits.begin(), bits.end(), Word{0});
    for_each([bits](Qubit q) { set_bit(bits, q); });
  } else if (form == Form::table) {
    std::fill(fresh_slots, fresh_slots + length, open_addressing::empty_slot);
    for_each([fresh_slots, length](Qubit q) { open_addressing::insert(fresh_slots, length, q); });
  } else {
    std::size_t next = 0;
    for_each([&](Qubit q) { fresh_slots[next++] = q; });
  }
  release();
  entries_.heap = fresh;
  form_ = form;
  return true;
}

void NeighborSet::grow_for(std::size_t entries, std::size_t capacity, std::size_t universe) {
  if (capacity > largest_table_capacity || table_outgrows_row(capacity, universe) ||
      row_is_due(entries, universe)) {
    move_to(Form::bit_row, row_words(universe), false);
  } else {
    move_to(Form::table, std::max(first_table_capacity, capacity), false);
  }
}

void NeighborSet::reserve_growing(std::size_t universe) {
  if (size_ == std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  const std::size_t entries = std::size_t{size_} + 1;
  switch (form_) {
    case Form::in_object:
      // Full, or the register has indices too wide to keep in the object.
      move_to(Form::packed, first_packed_capacity, false);
      return;
    case Form::packed:
      if (size_ < capacity()) return;
      if (capacity() < packed_capacity) {
        move_to(Form::packed, 2 * capacity(), false);
      } else {
        grow_for(entries, first_table_capacity, universe);
      }
      return;
    case Form::table:
      if (table_slots_per_entry * entries <= capacity() && !row_is_due(entries, universe)) return;
      grow_for(entries, 2 * capacity(), universe);
      return;
    case Form::bit_row:
      return;
  }
}

void NeighborSet::reserve_more(std::size_t count, std::size_t universe) {
  if (count > std::numeric_limits<std::uint32_t>::max() - std::size_t{size_}) {
    throw std::bad_alloc();
  }
  const std::size_t entries = std::size_t{size_} + count;
  switch (form_) {
    case Form::in_object:
      if (entries <= in_object_capacity && universe <= in_object_limit) return;
      break;
    case Form::packed:
      if (entries <= capacity()) return;
      break;
    case Form::table:
      if (table_slots_per_entry * entries <= capacity() && !row_is_due(entries, universe)) return;
      break;
    case Form::bit_row:
      return;
  }
  if (entries <= packed_capacity) {
    move_to(Form::packed, std::max(first_packed_capacity, std::bit_ceil(entries)), false);
  } else {
    grow_for(entries, std::bit_ceil(table_slots_per_entry * entries), universe);
  }
}

void NeighborSet::insert_on_heap(Qubit q) noexcept {
  switch (form_) {
    case Form::bit_row:
      set_bit(mutable_row(), q);
      break;
    case Form::table:
      open_addressing::insert(slots(), heap_length(), q);
      break;
    case Form::packed:
    case Form::in_object:
      slots()[size_] = q;
      break;
  }
  ++size_;
}

void NeighborSet::erase_on_heap(Qubit q) noexcept {
  Qubit* const entries = slots();
  switch (form_) {
    case Form::bit_row:
      clear_bit(mutable_row(), q);
      break;
    case Form::table:
      open_addressing::erase_slot(entries, capacity(),
                                  open_addressing::find_slot(entries, capacity(), q));
      break;
    case Form::packed:
    case Form::in_object:
      *std::find(entries, entries + size_, q) = entries[size_ - 1];
      break;
  }
  --size_;
}

void NeighborSet::toggle_row(ConstBitRow mask, Qubit kept) noexcept {
  const BitRow bits = mutable_row();
  std::size_t count = xor_row_counting(bits, mask);
  if (test_bit(mask, kept)) {
    flip_bit(bits, kept);
    count = test_bit(bits, kept) ? count + 1 : count - 1;
  }
  size_ = static_cast<std::uint32_t>(count);
}

void NeighborSet::fit_storage() noexcept {
  switch (form_) {
    case Form::bit_row:
      if (row_bits_per_entry_to_shrink * std::size_t{size_} < capacity()) shrink_from_row();
      return;
    case Form::table:
      if (table_shrink_below * std::size_t{size_} < capacity()) shrink_from_table();
      return;
    case Form::packed:
      // Two entries fit in the object: the heap storage goes, which needs no allocation.
      if (size_ <= in_object_capacity) move_into_object();
      return;
    case Form::in_object:
      return;
  }
}

void NeighborSet::shrink_from_table() noexcept {
  if (size_ > packed_after_shrink) {
    move_to(Form::table, std::max(first_table_capacity, capacity() / table_shrink_factor), true);
  } else if (size_ > in_object_capacity || !move_into_object()) {
    move_to(Form::packed, packed_capacity, true);
  }
}

void NeighborSet::shrink_from_row() noexcept {
  if (size_ > packed_after_shrink) {
    move_to(Form::table,
            std::max(first_table_capacity,
                     std::bit_ceil(slots_per_entry_after_row * std::size_t{size_})),
            true);
  } else if (size_ > in_object_capacity) {
    move_to(Form::packed, packed_capacity, true);
  } else if (!move_into_object()) {
    move_to(Form::packed, first_packed_capacity, true);
  }
}

}  // namespace korvane::engine
