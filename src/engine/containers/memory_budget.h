// The memory that the bit matrices of all registers in the process may take together: a quarter
// of the machine's physical memory, asked of the operating system the first time it is needed.
// Every matrix is charged against it while it lives; a register turns its graph into a matrix by
// its own choice only when the matrix fits what the others have left, so two large registers do
// not both take it.
#pragma once

#include <cstddef>
#include <optional>

namespace korvane::engine {

// Bytes charged against the budget while the charge lives. A copy charges its bytes again.
class MemoryCharge {
 public:
  MemoryCharge() noexcept = default;
  // Charges `bytes` whatever is left (memory that is asked for explicitly).
  static MemoryCharge unconditional(std::size_t bytes) noexcept;
  // Charges `bytes` when they fit what is left of the budget; none otherwise.
  static std::optional<MemoryCharge> within_budget(std::size_t bytes) noexcept;

  MemoryCharge(const MemoryCharge& other) noexcept;
  MemoryCharge& operator=(const MemoryCharge& other) noexcept;
  MemoryCharge(MemoryCharge&& other) noexcept;
  MemoryCharge& operator=(MemoryCharge&& other) noexcept;
  ~MemoryCharge();

  std::size_t bytes() const noexcept { return bytes_; }

 private:
  explicit MemoryCharge(std::size_t bytes) noexcept : bytes_(bytes) {}
  void release() noexcept;

  std::size_t bytes_ = 0;
};

// The budget, and the bytes charged against it now.
std::size_t dense_memory_budget() noexcept;
std::size_t dense_memory_charged() noexcept;
// Replaces the budget and returns the previous one: for tests, which make switches and refusals
// happen on small registers. Not offered to Python.
std::size_t set_dense_memory_budget(std::size_t bytes) noexcept;

}  // namespace korvane::engine
