#include "small_array_pool.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "large_array.h"

namespace korvane::engine {
namespace {

// Slabs double from 4 KiB up to a huge page, so a small register takes little and a large one
// takes huge pages.
constexpr std::size_t first_slab_bytes = std::size_t{1} << 12;

// A free array holds the address of the next free array of its class in its first bytes.
std::uint32_t* next_free(const std::uint32_t* array) {
  std::uint32_t* next = nullptr;
  std::memcpy(static_cast<void*>(&next), array, sizeof next);
  return next;
}

void set_next_free(std::uint32_t* array, std::uint32_t* next) {
  std::memcpy(array, static_cast<const void*>(&next), sizeof next);
}

static_assert(SmallArrayPool::class_entries[0] * sizeof(std::uint32_t) >= sizeof(std::uint32_t*));

}  // namespace

void SmallArrayPool::SlabRelease::operator()(std::uint32_t* slab) const noexcept {
  release_large(slab, bytes);
}

bool SmallArrayPool::add_slab(unsigned size_class) noexcept {
  ClassState& state = classes_[size_class];
  const std::size_t bytes = std::max(first_slab_bytes, state.next_slab_bytes);
  try {
    slabs_.reserve(slabs_.size() + 1);
    auto* const memory = static_cast<std::uint32_t*>(allocate_large(bytes));
    slabs_.emplace_back(memory, SlabRelease{bytes});
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::size_t arrays = bytes / (class_entries[size_class] * sizeof(std::uint32_t));
  state.next = slabs_.back().get();
  state.end = state.next + arrays * class_entries[size_class];
  state.next_slab_bytes = std::min(2 * bytes, huge_page_bytes);
  slab_bytes_ += bytes;
  return true;
}

std::uint32_t* SmallArrayPool::try_allocate(unsigned size_class) noexcept {
  ClassState& state = classes_[size_class];
  if (state.free != nullptr) {
    std::uint32_t* const array = state.free;
    state.free = next_free(array);
    return array;
  }
  if (state.next == state.end && !add_slab(size_class)) return nullptr;
  std::uint32_t* const array = state.next;
  state.next += class_entries[size_class];
  return array;
}

std::uint32_t* SmallArrayPool::allocate(unsigned size_class) {
  std::uint32_t* const array = try_allocate(size_class);
  if (array == nullptr) throw std::bad_alloc();
  return array;
}

void SmallArrayPool::release(unsigned size_class, std::uint32_t* array) noexcept {
  ClassState& state = classes_[size_class];
  set_next_free(array, state.free);
  state.free = array;
}

}  // namespace korvane::engine
