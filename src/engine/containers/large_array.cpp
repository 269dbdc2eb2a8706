#include "large_array.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace korvane::engine {
namespace {

constexpr std::align_val_t huge_page_alignment{huge_page_bytes};

std::size_t whole_huge_pages(std::size_t bytes) {
  return (bytes + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
}

}  // namespace

void* allocate_large(std::size_t bytes) {
  if (bytes > static_cast<std::size_t>(-1) - huge_page_bytes) throw MemoryRefused(bytes);
  void* memory = nullptr;
  const std::size_t rounded = whole_huge_pages(bytes);
  try {
    if (bytes < huge_page_bytes) return ::operator new(bytes);
    memory = ::operator new(rounded, huge_page_alignment);
  } catch (const std::bad_alloc&) {
    throw MemoryRefused(bytes);
  }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Advice only: where it is refused the memory keeps ordinary pages.
  ::madvise(memory, rounded, MADV_HUGEPAGE);
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
