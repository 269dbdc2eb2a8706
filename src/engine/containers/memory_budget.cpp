#include "memory_budget.h"

#include <atomic>
#include <limits>
#include <utility>

#if defined(__linux__)
#include <sys/sysinfo.h>
#endif

namespace korvane::engine {
namespace {

constexpr std::size_t unknown_budget = std::numeric_limits<std::size_t>::max();
// The share of physical memory the matrices may take: the rest stays for the sets, the
// interpreter and everything else on the machine.
constexpr std::size_t physical_memory_share = 4;
// Where the system cannot say: 1 GiB.
constexpr std::size_t fallback_budget = std::size_t{1} << 30;

std::atomic<std::size_t> budget{unknown_budget};
std::atomic<std::size_t> charged{0};

std::size_t budget_from_physical_memory() noexcept {
#if defined(__linux__)
  struct sysinfo info {};
  if (::sysinfo(&info) == 0 && info.totalram > 0) {
    const std::size_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    const auto pages = static_cast<std::size_t>(info.totalram);
    if (pages <= std::numeric_limits<std::size_t>::max() / unit)
      return pages * unit / physical_memory_share;
  }
#endif
  return fallback_budget;
}

}  // namespace

std::size_t dense_memory_budget() noexcept {
  std::size_t known = budget.load(std::memory_order_relaxed);
  if (known != unknown_budget) return known;
  const std::size_t asked = budget_from_physical_memory();
  // A budget set meanwhile stays.
  budget.compare_exchange_strong(known, asked, std::memory_order_relaxed);
  return budget.load(std::memory_order_relaxed);
}

std::size_t dense_memory_charged() noexcept { return charged.load(std::memory_order_relaxed); }

std::size_t set_dense_memory_budget(std::size_t bytes) noexcept {
  const std::size_t previous = dense_memory_budget();
  budget.store(bytes, std::memory_order_relaxed);
  return previous;
}

MemoryCharge MemoryCharge::unconditional(std::size_t bytes) noexcept {
  charged.fetch_add(bytes, std::memory_order_relaxed);
  return MemoryCharge(bytes);
}

std::optional<MemoryCharge> MemoryCharge::within_budget(std::size_t bytes) noexcept {
  const std::size_t limit = dense_memory_budget();
  if (bytes > limit) return std::nullopt;
  std::size_t now = charged.load(std::memory_order_relaxed);
  do {
    if (now > limit - bytes) return std::nullopt;
  } while (!charged.compare_exchange_weak(now, now + bytes, std::memory_order_relaxed));
  return MemoryCharge(bytes);
}

MemoryCharge::MemoryCharge(const MemoryCharge& other) noexcept : bytes_(other.bytes_) {
  charged.fetch_add(bytes_, std::memory_order_relaxed);
}

MemoryCharge& MemoryCharge::operator=(const MemoryCharge& other) noexcept {
  if (this != &other) {
    charged.fetch_add(other.bytes_, std::memory_order_relaxed);
    release();
    bytes_ = other.bytes_;
  }
  return *this;
}

MemoryCharge::MemoryCharge(MemoryCharge&& other) noexcept
    : bytes_(std::exchange(other.bytes_, 0)) {}

MemoryCharge& MemoryCharge::operator=(MemoryCharge&& other) noexcept {
  if (this != &other) {
    release();
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

MemoryCharge::~MemoryCharge() { release(); }

void MemoryCharge::release() noexcept {
  if (bytes_ != 0) charged.fetch_sub(bytes_, std::memory_order_relaxed);
  bytes_ = 0;
}

}  // namespace korvane::engine
