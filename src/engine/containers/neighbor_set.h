// The neighbours of one vertex as a set of qubit indices, in no particular order.
//
// The set keeps its entries in one of five forms, moving up as it grows:
//  - in the 16-byte object itself, up to four entries of 32 bits, so that the vertices of a wire,
//    a chain or a 2D cluster, and most vertices of sparse graphs, need no storage of their own;
//  - pooled: one entry in the object and the others in a short array of 32-bit entries from the
//    pool of the table the set lives in (small_array_pool.h), without a heap block's header: a
//    vertex of a 3D cluster costs 20 bytes beside its object;
//  - packed in a plain heap array, found by a scan: the short arrays of sets without a pool, and
//    of registers whose indices do not fit 32 bits;
//  - in an open-addressing table at most half full, so that membership, insertion and removal
//    stay O(1) however large the set grows;
//  - as a bit row over the register, once it holds one qubit in 256 of the register or a table
//    would take more room than one bit per qubit: still O(1) per entry, visited in index order,
//    and changed a word (64 entries) at a time by XORs of rows, so that the neighbourhoods of a
//    graph that fills in are complemented at the speed of memory.
// It moves down again only well below the size that made it move up (a row below one qubit in
// 1024), so that a set near a limit does not move back and forth, and only when the smaller
// storage is granted; pooled entries go back into the object as soon as they fit, which needs no
// memory.
//
// Changes that may take or give back storage name where it comes from (SetMemory): the pool is
// the table's, and a pooled set must only ever see that one. A set without a pool never becomes
// pooled, and a copy made without a pool keeps its entries on the heap.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../base.h"
#include "../bits/bit_row.h"
#include "open_addressing.h"
#include "small_array_pool.h"

namespace korvane::engine {

// Where a set's storage comes from: the register's size, which bounds the entries and is the
// length of a bit row, and the pool of short arrays of the table the set lives in, if any.
struct SetMemory {
  std::size_t universe = 0;
  SmallArrayPool* pool = nullptr;
};

class NeighborSet {
 public:
  enum class Form : std::uint32_t { in_object, pooled, packed, table, bit_row };

  static constexpr std::size_t in_object_capacity = 4;
  static constexpr std::size_t packed_capacity = 16;
  // Registers up to this size keep 32-bit entries, in the object and in pooled arrays.
  static constexpr std::size_t narrow_universe = 0xFFFF'EFFF;
  // A set becomes a bit row once it holds one qubit in this many of the register: there a row
  // XOR of N / 64 words beats toggling its entries one by one in a table.
  static constexpr std::size_t row_bits_per_entry_to_grow = 256;

  NeighborSet() noexcept = default;
  NeighborSet(const NeighborSet& other);
  // A copy whose pooled entries, if any, take an array of `pool`.
  NeighborSet(const NeighborSet& other, SmallArrayPool& pool);
  NeighborSet& operator=(const NeighborSet& other);
  NeighborSet(NeighborSet&& other) noexcept;
  NeighborSet& operator=(NeighborSet&& other) noexcept;
  // Frees heap storage; a pooled array stays with its pool, which is freed as a whole.
  ~NeighborSet();

  std::size_t size() const noexcept {
    if (in_object()) return in_object_size();
    return form() == Form::pooled ? tag() & pooled_size_mask : aux();
  }
  bool empty() const noexcept { return in_object() ? words_[0] == 0 : size() == 0; }
  // How the entries are kept, and how many the storage has room for.
  Form form() const noexcept {
    return in_object() ? Form::in_object : static_cast<Form>((tag() >> form_shift) & form_mask);
  }
  std::size_t capacity() const noexcept;

  // The operations below handle entries kept in the object itself here, inline (most vertices
  // of sparse graphs have at most four neighbours), and other storage out of line.
  bool contains(Qubit q) const noexcept {
    if (!in_object()) return contains_elsewhere(q);
    const Qubit key = q + 1;
#if defined(__SSE2__)
    // A key beyond 32 bits is in no object (and must not match a free word once truncated).
    if (key > std::numeric_limits<std::uint32_t>::max()) return false;
    const __m128i entries = _mm_load_si128(reinterpret_cast<const __m128i*>(words_.data()));
    const __m128i keys = _mm_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(key)));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(entries, keys)) != 0;
#else
    return static_cast<bool>(
        static_cast<int>(words_[0] == key) | static_cast<int>(words_[1] == key) |
        static_cast<int>(words_[2] == key) | static_cast<int>(words_[3] == key));
#endif
  }

  // Whether the set holds an entry other than w.
  bool has_entry_other_than(Qubit w) const noexcept {
    if (in_object()) return words_[1] != 0 || (words_[0] != 0 && words_[0] != w + 1);
    const std::size_t count = size();
    return count > 1 || (count == 1 && !contains(w));
  }

  // Makes room for one more entry, so that the next insert_reserved cannot fail. Throws
  // std::bad_alloc when refused; the entries never change.
  void reserve_one_more(const SetMemory& memory) {
    if (tag() == 0 && memory.universe <= narrow_universe) return;
    reserve_growing(memory);
  }
  // Whether the set is kept in the object with room for another entry there: then, in a register
  // of at most `narrow_universe` qubits, insert_into_object_room needs no reserve_one_more first.
  bool has_room_in_object() const noexcept { return tag() == 0; }
  // Adds q, which must be absent, to a set with room in the object.
  void insert_into_object_room(Qubit q) noexcept {
    std::uint64_t front = 0;
    std::memcpy(&front, words_.data(), sizeof front);
    constexpr std::uint64_t one_word = 0xFFFF'FFFF;
    const std::size_t free_word = static_cast<std::size_t>(front != 0) +
                                  static_cast<std::size_t>(front > one_word) +
                                  static_cast<std::size_t>(words_[2] != 0);
    words_[free_word] = static_cast<std::uint32_t>(q + 1);
  }
  // Removes q, which must be present, from a set kept in the object: the last entry fills its
  // place.
  void erase_from_object(Qubit q) noexcept {
    const std::size_t last = in_object_size() - 1;
    const auto key = static_cast<std::uint32_t>(q + 1);
    for (std::size_t i = 0; i < last; ++i) {
      if (words_[i] == key) {
        words_[i] = words_[last];
        break;
      }
    }
    words_[last] = 0;
  }
  // Adds q, which must be absent, into room made by reserve_one_more.
  void insert_reserved(Qubit q) noexcept {
    if (!in_object()) {
      insert_elsewhere(q);
      return;
    }
    words_[in_object_size()] = static_cast<std::uint32_t>(q + 1);
  }
  // Fills an empty set with `entries`, which are distinct. Throws std::bad_alloc when refused, and
  // the set stays empty.
  void assign(std::span<const Qubit> entries, const SetMemory& memory) {
    if (entries.size() <= in_object_capacity && memory.universe <= narrow_universe) {
      for (std::size_t i = 0; i < entries.size(); ++i) {
        words_[i] = static_cast<std::uint32_t>(entries[i] + 1);
      }
      return;
    }
    reserve_more(entries.size(), memory);
    for (const Qubit q : entries) insert_reserved(q);
  }
  // Adds q, unless the set holds it, to a set with room in the object (has_room_in_object, in a
  // register of at most `narrow_universe` qubits); false when q was there. It reads the entries a
  // word at a time, as they were written: a build that adds to the same set row after row then
  // never waits on a wide read of narrow writes.
  bool insert_new_into_object_room(Qubit q) noexcept {
    const auto key = static_cast<std::uint32_t>(q + 1);
    std::size_t free_word = 0;
    for (; free_word + 1 < in_object_capacity && words_[free_word] != 0; ++free_word) {
      if (words_[free_word] == key) return false;
    }
    words_[free_word] = key;
    return true;
  }
  // Removes q, which must be present. The storage may move down a form (never failing).
  void erase(Qubit q, const SetMemory& memory) noexcept {
    erase_keeping_room(q);
    if (!in_object()) fit_storage(memory);
  }
  // Removes every entry and frees the storage.
  void clear(const SetMemory& memory) noexcept;

  // Bulk changes: room for `count` more entries first (throws std::bad_alloc, the entries never
  // change), then any number of toggles that never take more, then fit_storage to let the
  // storage move down where the toggles emptied it.
  void reserve_more(std::size_t count, const SetMemory& memory);
  // Inserts q when absent, removes it when present, keeping the room either way.
  void toggle_reserved(Qubit q) noexcept {
    if (contains(q)) {
      erase_keeping_room(q);
    } else {
      insert_reserved(q);
    }
  }
  // For a set kept as a bit row: toggles every entry of `mask`, a row of the same length, except
  // `kept`, in one pass that also counts the entries.
  void toggle_row(ConstBitRow mask, Qubit kept) noexcept;
  void fit_storage(const SetMemory& memory) noexcept;

  template <class Visit>
  void for_each(Visit&& visit) const {
    for_each_while([&visit](Qubit q) {
      visit(q);
      return true;
    });
  }

  // Visits entries while `visit` returns true.
  template <class Visit>
  void for_each_while(Visit&& visit) const {
    if (in_object()) {
      for (const std::uint32_t stored : words_) {
        if (stored == 0 || !visit(Qubit{stored} - 1)) return;
      }
      return;
    }
    switch (form()) {
      case Form::pooled: {
        const std::size_t count = size();
        if (count == 0 || !visit(Qubit{aux()})) return;
        const std::uint32_t* const rest = pooled_array();
        for (std::size_t i = 0; i + 1 < count; ++i)
          if (!visit(Qubit{rest[i]})) return;
        return;
      }
      case Form::bit_row:
        for_each_bit_while(row(), visit);
        return;
      case Form::packed:
      case Form::table:
      case Form::in_object:
        break;
    }
    // A packed array holds its entries first; a table has them anywhere among its slots.
    const Qubit* const entries = slots();
    const std::size_t count = form() == Form::table ? heap_length() : size();
    for (std::size_t i = 0; i < count; ++i)
      if (entries[i] != open_addressing::empty_slot && !visit(entries[i])) return;
  }

 private:
  // In the object, entries are stored plus one, so that 0 marks a free word, from the front. In
  // every other form the first two words hold the storage's address and the last (the tag) is at
  // least `tag_base`, which no stored entry reaches: it carries the form, and for a pooled set
  // the array's size class and the number of entries, the first of which is the third word (aux).
  // Heap forms keep their number of entries in aux.
  static constexpr std::uint32_t tag_base = 0xFFFF'F000;
  static constexpr unsigned form_shift = 8;
  static constexpr std::uint32_t form_mask = 7;
  static constexpr unsigned class_shift = 6;
  static constexpr std::uint32_t class_mask = 3;
  static constexpr std::uint32_t pooled_size_mask = 63;
  static_assert(narrow_universe < tag_base);
  static_assert(SmallArrayPool::class_count <= class_mask + 1);
  static_assert(1 + SmallArrayPool::class_entries.back() <= packed_capacity);
  static_assert(1 + SmallArrayPool::class_entries.back() <= pooled_size_mask);
  static_assert(sizeof(void*) == 2 * sizeof(std::uint32_t));
  // The heap storage holds entries, or the words of a bit row.
  static_assert(std::is_same_v<Qubit, Word>);

  std::uint32_t aux() const noexcept { return words_[2]; }
  std::uint32_t tag() const noexcept { return words_[3]; }
  bool in_object() const noexcept { return tag() < tag_base; }
  // Entries fill the words from the front: the number of nonzero words, counted in the 128 bits
  // at once where the target has the instructions for it.
  std::size_t in_object_size() const noexcept {
#if defined(__SSE2__)
    const __m128i entries = _mm_load_si128(reinterpret_cast<const __m128i*>(words_.data()));
    const int free_words =
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(entries, _mm_setzero_si128())));
    return static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(free_words) | 16U));
#else
    return static_cast<std::size_t>(words_[0] != 0) + static_cast<std::size_t>(words_[1] != 0) +
           static_cast<std::size_t>(words_[2] != 0) + static_cast<std::size_t>(words_[3] != 0);
#endif
  }
  // The address kept in the first two words.
  template <class T>
  T* address() const noexcept {
    T* pointer = nullptr;
    std::memcpy(static_cast<void*>(&pointer), words_.data(), sizeof pointer);
    return pointer;
  }
  void set_address(const void* pointer) noexcept {
    std::memcpy(words_.data(), static_cast<const void*>(&pointer), sizeof pointer);
  }

  static std::uint32_t heap_tag(Form form) noexcept {
    return tag_base | (static_cast<std::uint32_t>(form) << form_shift);
  }
  unsigned pooled_class() const noexcept { return (tag() >> class_shift) & class_mask; }
  void set_pooled_size(std::size_t count) noexcept {
    words_[3] = (tag() & ~pooled_size_mask) | static_cast<std::uint32_t>(count);
  }
  std::uint32_t* pooled_array() const noexcept { return address<std::uint32_t>(); }
  Qubit* heap() const noexcept { return address<Qubit>(); }
  // Heap storage starts with its length (slots, or words of a bit row), and they follow.
  std::size_t heap_length() const noexcept { return heap()[0]; }
  Qubit* slots() const noexcept { return heap() + 1; }
  ConstBitRow row() const noexcept { return {slots(), heap_length()}; }
  BitRow mutable_row() noexcept { return {slots(), heap_length()}; }

  // Replaces storage shared with the set this one was copied from by a copy of its own: an array
  // of `pool` for pooled entries, a packed array when there is no pool.
  void copy_storage(SmallArrayPool* pool);
  // Moves the entries into fresh storage of the given form and length (slots, words of a bit
  // row, or the size class of a pooled array). Returns false, changing nothing, when `may_fail`
  // and the allocation is refused; otherwise a refusal throws std::bad_alloc.
  bool move_to(Form form, std::size_t length, const SetMemory& memory, bool may_fail);
  // Moves the entries into the object itself; false, changing nothing, when they do not fit.
  bool move_into_object(const SetMemory& memory) noexcept;
  // Moves a set of few entries down, from a table or a row, into the smallest storage that
  // takes them.
  void shrink_to_small(const SetMemory& memory) noexcept;
  void shrink_from_table(const SetMemory& memory) noexcept;
  void shrink_from_row(const SetMemory& memory) noexcept;
  // The operations above on other storage; reserve_growing also moves full in-object entries out.
  bool contains_elsewhere(Qubit q) const noexcept;
  void reserve_growing(const SetMemory& memory);
  void insert_elsewhere(Qubit q) noexcept;
  void erase_elsewhere(Qubit q) noexcept;
  void erase_keeping_room(Qubit q) noexcept {
    if (!in_object()) {
      erase_elsewhere(q);
      return;
    }
    erase_from_object(q);
  }
  // Room for `entries` entries in a short array: pooled where a pool takes them, else packed.
  void grow_small(std::size_t entries, const SetMemory& memory);
  // Moves to a bit row, or to a table of at least `capacity` slots, whichever suits `entries`.
  void grow_for(std::size_t entries, std::size_t capacity, const SetMemory& memory);
  // Frees the storage, leaving the fields as they are.
  void release(const SetMemory& memory) noexcept;
  void release_heap() noexcept;
  void reset() noexcept { words_ = {}; }

  alignas(4 * sizeof(std::uint32_t)) std::array<std::uint32_t, 4> words_{};
};

}  // namespace korvane::engine
