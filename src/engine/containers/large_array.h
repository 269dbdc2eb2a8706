// Memory for the register's big arrays (VOPs, blocks of neighbour sets, the bit matrix).
//
// Fresh memory reaches a process one 4 KiB page at a time, and on virtual machines each page can
// cost microseconds to fault in: building a register of 10^6 qubits touches thousands of them.
// Arrays of at least a huge page are therefore aligned to 2 MiB and offered to the kernel for
// transparent huge pages, so that one fault brings in 2 MiB. Smaller arrays, and systems without
// the advice, get ordinary memory. Every allocation goes through operator new, so a refusal is
// std::bad_alloc like any other.
#pragma once

#include <cstddef>
#include <new>

namespace korvane::engine {

inline constexpr std::size_t huge_page_bytes = std::size_t{1} << 21;

// A refused allocation of a big array: a std::bad_alloc that knows how much was asked for, so
// that the message can say.
class MemoryRefused : public std::bad_alloc {
 public:
  explicit MemoryRefused(std::size_t bytes) noexcept : bytes_(bytes) {}
  std::size_t bytes() const noexcept { return bytes_; }
  const char* what() const noexcept override { return "an array's memory was refused"; }

 private:
  std::size_t bytes_;
};

// `bytes` of memory, aligned to a huge page when at least one. Throws MemoryRefused.
void* allocate_large(std::size_t bytes);
// Returns memory from allocate_large(bytes).
void release_large(void* memory, std::size_t bytes) noexcept;

// A std::vector allocator drawing on allocate_large.
template <class T>
struct LargeArrayAllocator {
  using value_type = T;

  LargeArrayAllocator() = default;
  template <class U>
  explicit LargeArrayAllocator(const LargeArrayAllocator<U>& /*other*/) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(allocate_large(count * sizeof(T)));
  }
  void deallocate(T* memory, std::size_t count) noexcept {
    release_large(memory, count * sizeof(T));
  }

  friend bool operator==(const LargeArrayAllocator& /*a*/,
                         const LargeArrayAllocator& /*b*/) noexcept {
    return true;
  }
};

}  // namespace korvane::engine
