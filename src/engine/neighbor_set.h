// The neighbours of one vertex as a set of qubit indices, in no particular order.
//
// Up to two entries live inside the 16-byte object itself, so the ends of a wire, the leaves of a
// star and the links of a chain need no storage of their own. Up to `small_capacity` entries sit
// packed in a plain array and are found by a scan, which is the fastest thing for the few
// neighbours most vertices have. Beyond that they live in an open-addressing hash table (linear
// probing, at most half full, backward-shift deletion), so that membership, insertion and removal
// stay O(1) however large the set grows. A hub whose table would take more room than one bit per
// qubit of the register becomes a bit row instead: still O(1) per entry, and visited in index
// order, so that a hub of 10^6 neighbours is read and changed at the speed of memory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace korvane::engine {

using Qubit = std::size_t;

class NeighborSet {
 public:
  static constexpr std::uint32_t small_capacity = 16;

  NeighborSet() noexcept = default;
  NeighborSet(const NeighborSet& other);
  NeighborSet& operator=(const NeighborSet& other);
  NeighborSet(NeighborSet&& other) noexcept;
  NeighborSet& operator=(NeighborSet&& other) noexcept;
  ~NeighborSet();

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  // The four operations below handle entries kept in the object itself here, inline (most vertices
  // of sparse graphs have at most two neighbours), and heap storage out of line.
  bool contains(Qubit q) const noexcept {
    if (on_heap()) return contains_on_heap(q);
    return (size_ > 0 && inline_entry(0) == q) || (size_ > 1 && inline_entry(1) == q);
  }

  // Makes room for one more entry below `universe` (the register's size), so that the next
  // insert_reserved cannot fail. Throws std::bad_alloc when refused; the entries never change.
  void reserve_one_more(std::size_t universe) {
    if (!on_heap() && size_ < inline_capacity && universe <= inline_limit) return;
    reserve_growing(universe);
  }
  // Adds q, which must be absent, into room made by reserve_one_more.
  void insert_reserved(Qubit q) noexcept {
    if (on_heap()) {
      insert_on_heap(q);
      return;
    }
    set_inline_entry(size_, q);
    ++size_;
  }
  // Removes q, which must be present. Storage shrinks when that costs no risk: it moves into the
  // object itself for two entries, and to smaller storage only if the allocation succeeds.
  void erase(Qubit q) noexcept {
    if (on_heap()) {
      erase_on_heap(q);
      return;
    }
    if (inline_entry(0) == q) set_inline_entry(0, inline_entry(size_ - 1));
    --size_;
  }
  // Removes every entry and frees the storage.
  void clear() noexcept;

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
    if (!on_heap()) {
      for (std::uint32_t i = 0; i < size_; ++i)
        if (!visit(inline_entry(i))) return;
      return;
    }
    const Qubit* const entries = heap();
    if (bit_row()) {
      for (std::size_t w = 0; w < row_words(); ++w) {
        for (Qubit bits = entries[w]; bits != 0; bits &= bits - 1) {
          if (!visit(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)))) return;
        }
      }
      return;
    }
    const std::size_t count = hashed() ? capacity_ : size_;
    for (std::size_t i = 0; i < count; ++i)
      if (entries[i] != empty_slot && !visit(entries[i])) return;
  }

 private:
  static constexpr std::uint32_t inline_capacity = 2;
  // Entries kept in the object itself are 32 bits wide.
  static constexpr Qubit inline_limit = Qubit{1} << 32;
  // capacity_ of a bit row: this flag, and the row's length in words.
  static constexpr std::uint32_t row_flag = std::uint32_t{1} << 31;
  // Never a qubit index: registers cannot be that large.
  static constexpr Qubit empty_slot = ~Qubit{0};

  bool on_heap() const noexcept { return capacity_ != 0; }
  bool bit_row() const noexcept { return (capacity_ & row_flag) != 0; }
  std::size_t row_words() const noexcept { return capacity_ & ~row_flag; }
  bool hashed() const noexcept { return capacity_ > small_capacity && !bit_row(); }
  Qubit* heap() const noexcept { return storage_.heap; }
  std::size_t heap_length() const noexcept { return bit_row() ? row_words() : capacity_; }
  // Entry 0 is the low half of `pair`, entry 1 the high half.
  Qubit inline_entry(std::uint32_t i) const noexcept {
    return (storage_.pair >> (32 * (i & 1U))) & 0xFFFFFFFFU;
  }
  void set_inline_entry(std::uint32_t i, Qubit q) noexcept {
    const unsigned shift = 32 * (i & 1U);
    storage_.pair =
        (storage_.pair & ~(std::uint64_t{0xFFFFFFFFU} << shift)) | (std::uint64_t{q} << shift);
  }
  // Moves the entries into fresh storage: capacity 0 is the object itself (never fails, but
  // refused when an entry is too wide for it), up to small_capacity a packed array, a power of
  // two above a hash table, row_flag | n a bit row of n words. Returns false, changing nothing,
  // when `may_fail` and the allocation is refused; otherwise a refusal throws std::bad_alloc.
  bool move_to(std::uint32_t capacity, bool may_fail);
  // The operations above on heap storage; reserve_growing also moves full in-place storage out.
  bool contains_on_heap(Qubit q) const noexcept;
  void reserve_growing(std::size_t universe);
  void insert_on_heap(Qubit q) noexcept;
  void erase_on_heap(Qubit q) noexcept;
  void release() noexcept;

  // While capacity_ is 0, the (at most two) entries themselves, 32 bits each (`pair`); else the
  // heap storage.
  union Storage {
    std::uint64_t pair;
    Qubit* heap;
  };
  Storage storage_{0};
  std::uint32_t size_ = 0;
  // 0: entries in storage_.pair; up to small_capacity: a packed array; a power of two above: a hash
  // table; row_flag | n: a bit row of n words.
  std::uint32_t capacity_ = 0;
};

}  // namespace korvane::engine
