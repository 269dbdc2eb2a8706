// Short arrays of 32-bit entries for the neighbour sets of one table, carved out of slabs: an
// array costs its entries and nothing else (the heap would add a header and round the block up
// to 16 bytes, 32 at least), which is what makes a vertex of degree 5 to 17 cheap. Arrays come
// in a few size classes; a freed array goes onto its class's free list for the next one of that
// class, and the slabs go back to the heap only with the pool, that is, with the register.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvane::engine {

class SmallArrayPool {
 public:
  // Entries an array of each class holds.
  static constexpr std::array<std::uint32_t, 4> class_entries{5, 8, 11, 15};
  static constexpr unsigned class_count = class_entries.size();

  SmallArrayPool() = default;
  SmallArrayPool(const SmallArrayPool&) = delete;
  SmallArrayPool& operator=(const SmallArrayPool&) = delete;
  SmallArrayPool(SmallArrayPool&&) noexcept = default;
  SmallArrayPool& operator=(SmallArrayPool&&) noexcept = default;
  ~SmallArrayPool() = default;

  // An array of class `size_class`, contents undefined. Throws std::bad_alloc when refused.
  std::uint32_t* allocate(unsigned size_class);
  // The same, or null when refused.
  std::uint32_t* try_allocate(unsigned size_class) noexcept;
  // Returns an array of class `size_class` from this pool.
  void release(unsigned size_class, std::uint32_t* array) noexcept;

  // Bytes of slab memory taken from the heap.
  std::size_t slab_bytes() const noexcept { return slab_bytes_; }

 private:
  struct SlabRelease {
    std::size_t bytes = 0;
    void operator()(std::uint32_t* slab) const noexcept;
  };
  using Slab = std::unique_ptr<std::uint32_t, SlabRelease>;

  // Where the next array of a class comes from: its free list, else the rest of its slab.
  struct ClassState {
    std::uint32_t* free = nullptr;
    std::uint32_t* next = nullptr;
    std::uint32_t* end = nullptr;
    std::size_t next_slab_bytes = 0;
  };

  // Takes a fresh slab for the class; false when refused.
  bool add_slab(unsigned size_class) noexcept;

  std::array<ClassState, class_count> classes_{};
  std::vector<Slab> slabs_;
  std::size_t slab_bytes_ = 0;
};

}  // namespace korvane::engine
