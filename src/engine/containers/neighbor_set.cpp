#include "neighbor_set.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <new>
#include <utility>

namespace korvane::engine {
namespace {

// Without a pool, a short array starts with room for this many entries; with 32-bit entries the
// object already holds four.
constexpr std::size_t first_packed_capacity = 4;
constexpr std::size_t first_narrow_packed_capacity = 8;
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
// A shrinking table or row becomes a short array once the entries fill at most half of one.
constexpr std::size_t small_after_shrink = NeighborSet::packed_capacity / 2;

// Entries a pooled set of each size class holds: one in the object, the rest in the array.
constexpr std::size_t pooled_capacity(unsigned size_class) {
  return 1 + SmallArrayPool::class_entries[size_class];
}
constexpr std::size_t largest_pooled_capacity = pooled_capacity(SmallArrayPool::class_count - 1);

// The smallest size class that holds `entries`, which must fit the largest.
unsigned pooled_class_for(std::size_t entries) {
  unsigned size_class = 0;
  while (pooled_capacity(size_class) < entries) ++size_class;
  return size_class;
}

bool takes_pooled(const SetMemory& memory) {
  return memory.pool != nullptr && memory.universe <= NeighborSet::narrow_universe;
}

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

NeighborSet::NeighborSet(const NeighborSet& other) : words_(other.words_) {
  if (!in_object()) copy_storage(nullptr);
}

NeighborSet::NeighborSet(const NeighborSet& other, SmallArrayPool& pool) : words_(other.words_) {
  if (!in_object()) copy_storage(&pool);
}

void NeighborSet::copy_storage(SmallArrayPool* pool) {
  if (form() == Form::pooled && pool != nullptr) {
    const unsigned size_class = pooled_class();
    std::uint32_t* const array = pool->allocate(size_class);
    std::copy_n(pooled_array(), SmallArrayPool::class_entries[size_class], array);
    set_address(array);
    return;
  }
  if (form() == Form::pooled) {
    // Without a pool the entries go into a packed array.
    const std::size_t count = size();
    const std::size_t length = std::max(first_packed_capacity, std::bit_ceil(count));
    auto* const fresh = new Qubit[1 + length];
    fresh[0] = length;
    std::size_t next = 1;
    for_each([&](Qubit q) { fresh[next++] = q; });
    set_address(fresh);
    words_[2] = static_cast<std::uint32_t>(count);
    words_[3] = heap_tag(Form::packed);
    return;
  }
  const std::size_t length = 1 + heap_length();
  auto* const fresh = new Qubit[length];
  std::copy(heap(), heap() + length, fresh);
  set_address(fresh);
}

NeighborSet& NeighborSet::operator=(const NeighborSet& other) {
  if (this != &other) {
    NeighborSet copy(other);
    *this = std::move(copy);
  }
  return *this;
}

NeighborSet::NeighborSet(NeighborSet&& other) noexcept : words_(std::exchange(other.words_, {})) {}

NeighborSet& NeighborSet::operator=(NeighborSet&& other) noexcept {
  if (this != &other) {
    release_heap();
    words_ = std::exchange(other.words_, {});
  }
  return *this;
}

NeighborSet::~NeighborSet() { release_heap(); }

void NeighborSet::release_heap() noexcept {
  const Form current = form();
  if (current != Form::in_object && current != Form::pooled) delete[] heap();
}

void NeighborSet::release(const SetMemory& memory) noexcept {
  if (form() == Form::pooled) {
    memory.pool->release(pooled_class(), pooled_array());
  } else {
    release_heap();
  }
}

void NeighborSet::clear(const SetMemory& memory) noexcept {
  release(memory);
  reset();
}

std::size_t NeighborSet::capacity() const noexcept {
  switch (form()) {
    case Form::in_object:
      return in_object_capacity;
    case Form::pooled:
      return pooled_capacity(pooled_class());
    case Form::bit_row:
      return heap_length() * word_bits;
    case Form::packed:
    case Form::table:
      break;
  }
  return heap_length();
}

bool NeighborSet::contains_elsewhere(Qubit q) const noexcept {
  switch (form()) {
    case Form::pooled: {
      if (q > narrow_universe) return false;
      const auto key = static_cast<std::uint32_t>(q);
      const std::size_t count = size();
      if (count == 0) return false;
      const std::uint32_t* const rest = pooled_array();
      return aux() == key || std::find(rest, rest + count - 1, key) != rest + count - 1;
    }
    case Form::bit_row:
      return q < capacity() && test_bit(row(), q);
    case Form::table:
      return slots()[open_addressing::find_slot(slots(), capacity(), q)] == q;
    case Form::packed:
    case Form::in_object:
      break;
  }
  const Qubit* const entries = slots();
  return std::find(entries, entries + size(), q) != entries + size();
}

bool NeighborSet::move_into_object(const SetMemory& memory) noexcept {
  if (size() > in_object_capacity) return false;
  std::array<Qubit, in_object_capacity> kept{};
  std::size_t count = 0;
  bool fits = true;
  for_each([&](Qubit q) {
    fits = fits && q < narrow_universe;
    kept[count++] = q;
  });
  if (!fits) return false;
  release(memory);
  reset();
  for (std::size_t i = 0; i < count; ++i) words_[i] = static_cast<std::uint32_t>(kept[i] + 1);
  return true;
}

bool NeighborSet::move_to(Form form, std::size_t length, const SetMemory& memory, bool may_fail) {
  const std::size_t count = size();
  if (form == Form::pooled) {
    const auto size_class = static_cast<unsigned>(length);
    std::uint32_t* const array =
        may_fail ? memory.pool->try_allocate(size_class) : memory.pool->allocate(size_class);
    if (array == nullptr) return false;
    std::uint32_t first = 0;
    std::size_t next = 0;
    for_each([&](Qubit q) {
      if (next == 0) {
        first = static_cast<std::uint32_t>(q);
      } else {
        array[next - 1] = static_cast<std::uint32_t>(q);
      }
      ++next;
    });
    release(memory);
    set_address(array);
    words_[2] = first;
    words_[3] = heap_tag(Form::pooled) | (size_class << class_shift);
    set_pooled_size(count);
    return true;
  }
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
  release(memory);
  set_address(fresh);
  words_[2] = static_cast<std::uint32_t>(count);
  words_[3] = heap_tag(form);
  return true;
}

void NeighborSet::grow_small(std::size_t entries, const SetMemory& memory) {
  if (takes_pooled(memory) && entries <= largest_pooled_capacity) {
    move_to(Form::pooled, pooled_class_for(entries), memory, false);
    return;
  }
  const std::size_t first =
      memory.universe <= narrow_universe ? first_narrow_packed_capacity : first_packed_capacity;
  move_to(Form::packed, std::max(first, std::bit_ceil(entries)), memory, false);
}

void NeighborSet::grow_for(std::size_t entries, std::size_t capacity, const SetMemory& memory) {
  const std::size_t universe = memory.universe;
  if (capacity > largest_table_capacity || table_outgrows_row(capacity, universe) ||
      row_is_due(entries, universe)) {
    move_to(Form::bit_row, row_words(universe), memory, false);
  } else {
    move_to(Form::table, std::max(first_table_capacity, capacity), memory, false);
  }
}

void NeighborSet::reserve_growing(const SetMemory& memory) {
  const std::size_t count = size();
  if (count == std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  const std::size_t entries = count + 1;
  switch (form()) {
    case Form::in_object:
      // Full, or the register has indices too wide to keep in the object.
      grow_small(entries, memory);
      return;
    case Form::pooled:
    case Form::packed:
      if (count < capacity()) return;
      if (entries <= packed_capacity) {
        grow_small(entries, memory);
      } else {
        grow_for(entries, first_table_capacity, memory);
      }
      return;
    case Form::table:
      if (table_slots_per_entry * entries <= capacity() && !row_is_due(entries, memory.universe)) {
        return;
      }
      grow_for(entries, 2 * capacity(), memory);
      return;
    case Form::bit_row:
      return;
  }
}

void NeighborSet::reserve_more(std::size_t count, const SetMemory& memory) {
  const std::size_t current = size();
  if (count > std::numeric_limits<std::uint32_t>::max() - current) throw std::bad_alloc();
  const std::size_t entries = current + count;
  const std::size_t universe = memory.universe;
  switch (form()) {
    case Form::in_object:
      if (entries <= in_object_capacity && universe <= narrow_universe) return;
      break;
    case Form::pooled:
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
    grow_small(entries, memory);
    return;
  }
  grow_for(entries, std::bit_ceil(table_slots_per_entry * entries), memory);
}

void NeighborSet::insert_elsewhere(Qubit q) noexcept {
  switch (form()) {
    case Form::pooled: {
      const std::size_t count = size();
      if (count == 0) {
        words_[2] = static_cast<std::uint32_t>(q);
      } else {
        pooled_array()[count - 1] = static_cast<std::uint32_t>(q);
      }
      set_pooled_size(count + 1);
      return;
    }
    case Form::bit_row:
      set_bit(mutable_row(), q);
      break;
    case Form::table:
      open_addressing::insert(slots(), heap_length(), q);
      break;
    case Form::packed:
    case Form::in_object:
      slots()[aux()] = q;
      break;
  }
  ++words_[2];
}

void NeighborSet::erase_elsewhere(Qubit q) noexcept {
  switch (form()) {
    case Form::pooled: {
      const std::size_t count = size();
      std::uint32_t* const rest = pooled_array();
      const auto key = static_cast<std::uint32_t>(q);
      // The last entry fills the place of the erased one.
      if (count > 1) {
        const std::uint32_t last = rest[count - 2];
        if (aux() == key) {
          words_[2] = last;
        } else {
          *std::find(rest, rest + count - 2, key) = last;
        }
      }
      set_pooled_size(count - 1);
      return;
    }
    case Form::bit_row:
      clear_bit(mutable_row(), q);
      break;
    case Form::table:
      open_addressing::erase_slot(slots(), capacity(),
                                  open_addressing::find_slot(slots(), capacity(), q));
      break;
    case Form::packed:
    case Form::in_object: {
      Qubit* const entries = slots();
      *std::find(entries, entries + aux(), q) = entries[aux() - 1];
      break;
    }
  }
  --words_[2];
}

void NeighborSet::toggle_row(ConstBitRow mask, Qubit kept) noexcept {
  const BitRow bits = mutable_row();
  std::size_t count = xor_row_counting(bits, mask);
  if (test_bit(mask, kept)) {
    flip_bit(bits, kept);
    count = test_bit(bits, kept) ? count + 1 : count - 1;
  }
  words_[2] = static_cast<std::uint32_t>(count);
}

void NeighborSet::fit_storage(const SetMemory& memory) noexcept {
  const std::size_t count = size();
  switch (form()) {
    case Form::bit_row:
      if (row_bits_per_entry_to_shrink * count < capacity()) shrink_from_row(memory);
      return;
    case Form::table:
      if (table_shrink_below * count < capacity()) shrink_from_table(memory);
      return;
    case Form::pooled:
      // Four entries fit in the object, which needs no memory; an array less than half full
      // moves to a smaller class when one is granted.
      if (count <= in_object_capacity) {
        move_into_object(memory);
      } else if (2 * count < capacity()) {
        move_to(Form::pooled, pooled_class_for(count), memory, true);
      }
      return;
    case Form::packed:
      if (count <= in_object_capacity) move_into_object(memory);
      return;
    case Form::in_object:
      return;
  }
}

void NeighborSet::shrink_to_small(const SetMemory& memory) noexcept {
  const std::size_t count = size();
  if (count <= in_object_capacity && move_into_object(memory)) return;
  if (takes_pooled(memory)) {
    move_to(Form::pooled, pooled_class_for(count), memory, true);
  } else {
    move_to(Form::packed, packed_capacity, memory, true);
  }
}

void NeighborSet::shrink_from_table(const SetMemory& memory) noexcept {
  if (size() > small_after_shrink) {
    move_to(Form::table, std::max(first_table_capacity, capacity() / table_shrink_factor), memory,
            true);
  } else {
    shrink_to_small(memory);
  }
}

void NeighborSet::shrink_from_row(const SetMemory& memory) noexcept {
  if (size() > small_after_shrink) {
    move_to(Form::table,
            std::max(first_table_capacity, std::bit_ceil(slots_per_entry_after_row * size())),
            memory, true);
  } else {
    shrink_to_small(memory);
  }
}

}  // namespace korvane::engine
