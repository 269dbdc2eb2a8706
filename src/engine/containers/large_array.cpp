#include "large_array.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace korvane::engine {
namespace {

constexpr std::align_val_t huge_page_alignment{huge_page_bytes};

// The huge pages wholly inside an allocation of `bytes` that starts on a huge page: the tail
// beyond them keeps ordinary pages, so that a register does not take up to 2 MiB it never uses.
std::size_t whole_huge_pages(std::size_t bytes) {
  return bytes / huge_page_bytes * huge_page_bytes;
}

}  // namespace

void* allocate_large(std::size_t bytes) {
  if (bytes > static_cast<std::size_t>(-1) - huge_page_bytes) throw MemoryRefused(bytes);
  void* memory = nullptr;
  try {
    if (bytes < huge_page_bytes) return ::operator new(bytes);
    // A size in whole huge pages, as aligned allocators may require; the tail past `bytes` is
    // never touched, so it never becomes resident.
    const std::size_t rounded = (bytes + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
    memory = ::operator new(rounded, huge_page_alignment);
  } catch (const std::bad_alloc&) {
    throw MemoryRefused(bytes);
  }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Advice only: where it is refused the memory keeps ordinary pages.
  ::madvise(memory, whole_huge_pages(bytes), MADV_HUGEPAGE);
#endif
  return memory;
}

void release_large(void* memory, std::size_t bytes) noexcept {
  if (bytes < huge_page_bytes) {
    ::operator delete(memory);
  } else {
    ::operator delete(memory, huge_page_alignment);
  }
}

}  // namespace korvane::engine
