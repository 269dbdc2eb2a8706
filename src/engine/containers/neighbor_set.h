// The neighbours of one vertex as a set of qubit indices, in no particular order.
//
// The set keeps its entries in one of four forms, moving up as it grows:
//  - in the 16-byte object itself, up to two entries of 32 bits, so that the ends of a wire, the
//    leaves of a star and the links of a chain need no storage of their own;
//  - packed in a plain array of up to `packed_capacity` entries, found by a scan, the fastest
//    thing for the few neighbours most vertices have;
//  - in an open-addressing table at most half full, so that membership, insertion and removal
//    stay O(1) however large the set grows;
//  - as a bit row over the register, once it holds one qubit in 256 of the register or a table
//    would take more room than one bit per qubit: still O(1) per entry, visited in index order,
//    and changed a word (64 entries) at a time by XORs of rows, so that the neighbourhoods of a
//    graph that fills in are complemented at the speed of memory.
// It moves down again only well below the size that made it move up (a row below one qubit in
// 1024), so that a set near a limit does not move back and forth, and only when the smaller
// storage is granted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "../base.h"
#include "../bits/bit_row.h"
#include "open_addressing.h"

namespace korvane::engine {

class NeighborSet {
 public:
  enum class Form : std::uint32_t { in_object, packed, table, bit_row };

  static constexpr std::size_t in_object_capacity = 2;
  static constexpr std::size_t packed_capacity = 16;
  // A set becomes a bit row once it holds one qubit in this many of the register: there a row
  // XOR of N / 64 words beats toggling its entries one by one in a table.
  static constexpr std::size_t row_bits_per_entry_to_grow = 256;

  NeighborSet() noexcept = default;
  NeighborSet(const NeighborSet& other);
  NeighborSet& operator=(const NeighborSet& other);
  NeighborSet(NeighborSet&& other) noexcept;
  NeighborSet& operator=(NeighborSet&& other) noexcept;
  ~NeighborSet();

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  // How the entries are kept, and how many the storage has room for.
  Form form() const noexcept { return form_; }
  std::size_t capacity() const noexcept;

  // The four operations below handle entries kept in the object itself here, inline (most
  // vertices of sparse graphs have at most two neighbours), and heap storage out of line.
  bool contains(Qubit q) const noexcept {
    if (form_ != Form::in_object) return contains_on_heap(q);
    return (size_ > 0 && in_object_entry(0) == q) || (size_ > 1 && in_object_entry(1) == q);
  }

  // Makes room for one more entry below `universe` (the register's size), so that the next
  // insert_reserved cannot fail. Throws std::bad_alloc when refused; the entries never change.
  void reserve_one_more(std::size_t universe) {
    if (form_ == Form::in_object && size_ < in_object_capacity && universe <= in_object_limit) {
      return;
    }
    reserve_growing(universe);
  }
  // Adds q, which must be absent, into room made by reserve_one_more.
  void insert_reserved(Qubit q) noexcept {
    if (form_ != Form::in_object) {
      insert_on_heap(q);
      return;
    }
    set_in_object_entry(size_, q);
    ++size_;
  }
  // Removes q, which must be present. The storage may move down a form (never failing).
  void erase(Qubit q) noexcept {
    erase_keeping_room(q);
    if (form_ != Form::in_object) fit_storage();
  }
  // Removes every entry and frees the storage.
  void clear() noexcept;

  // Bulk changes: room for `count` more entries first (throws std::bad_alloc, the entries never
  // change), then any number of toggles that never take more, then fit_storage() to let the
  // storage move down where the toggles emptied it.
  void reserve_more(std::size_t count, std::size_t universe);
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
  void fit_storage() noexcept;

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
    if (form_ == Form::in_object) {
      for (std::uint32_t i = 0; i < size_; ++i)
        if (!visit(in_object_entry(i))) return;
      return;
    }
    if (form_ == Form::bit_row) {
      for_each_bit_while(row(), visit);
      return;
    }
    // A packed array holds its entries first; a table has them anywhere among its slots.
    const Qubit* const entries = slots();
    const std::size_t count = form_ == Form::table ? heap_length() : size_;
    for (std::size_t i = 0; i < count; ++i)
      if (entries[i] != open_addressing::empty_slot && !visit(entries[i])) return;
  }

 private:
  // Entries kept in the object itself are 32 bits wide.
  static constexpr std::size_t in_object_entry_bits = 32;
  static constexpr Qubit in_object_limit = Qubit{1} << in_object_entry_bits;
  static constexpr std::uint64_t in_object_entry_mask = in_object_limit - 1;
  // The heap storage holds entries, or the words of a bit row.
  static_assert(std::is_same_v<Qubit, Word>);

  // Entry 0 is the low half of `pair`, entry 1 the high half.
  static std::size_t in_object_shift(std::uint32_t i) noexcept {
    return in_object_entry_bits * (i % in_object_capacity);
  }
  Qubit in_object_entry(std::uint32_t i) const noexcept {
    return (entries_.pair >> in_object_shift(i)) & in_object_entry_mask;
  }
  void set_in_object_entry(std::uint32_t i, Qubit q) noexcept {
    const std::size_t shift = in_object_shift(i);
    entries_.pair =
        (entries_.pair & ~(in_object_entry_mask << shift)) | (std::uint64_t{q} << shift);
  }
  // Heap storage starts with its length (slots, or words of a bit row), and they follow.
  std::size_t heap_length() const noexcept { return entries_.heap[0]; }
  Qubit* slots() const noexcept { return entries_.heap + 1; }
  ConstBitRow row() const noexcept { return {slots(), heap_length()}; }
  BitRow mutable_row() noexcept { return {slots(), heap_length()}; }

  // Moves the entries into fresh heap storage of the given form and length (slots, or words of
  // a bit row). Returns false, changing nothing, when `may_fail` and the allocation is refused;
  // otherwise a refusal throws std::bad_alloc.
  bool move_to(Form form, std::size_t length, bool may_fail);
  // Moves the entries into the object itself; false, changing nothing, when they do not fit.
  bool move_into_object() noexcept;
  void shrink_from_table() noexcept;
  void shrink_from_row() noexcept;
  // The operations above on heap storage; reserve_growing also moves full in-object entries out.
  bool contains_on_heap(Qubit q) const noexcept;
  void reserve_growing(std::size_t universe);
  void insert_on_heap(Qubit q) noexcept;
  void erase_on_heap(Qubit q) noexcept;
  void erase_keeping_room(Qubit q) noexcept {
    if (form_ != Form::in_object) {
      erase_on_heap(q);
      return;
    }
    if (in_object_entry(0) == q) set_in_object_entry(0, in_object_entry(size_ - 1));
    --size_;
  }
  // Moves to a bit row, or to a table of at least `capacity` slots, whichever suits `entries`.
  void grow_for(std::size_t entries, std::size_t capacity, std::size_t universe);
  void release() noexcept;

  // In the object itself, the (at most two) entries, 32 bits each; else the heap storage.
  union Entries {
    std::uint64_t pair;
    Qubit* heap;
  };
  Entries entries_{0};
  std::uint32_t size_ = 0;
  Form form_ = Form::in_object;
};

}  // namespace korvane::engine
