#include "stop_check.h"

namespace korvane::engine {
namespace {

// Units of work between two readings of the clock: a unit takes 10 ns at least, so the clock is
// read every 40 microseconds or more.
constexpr std::uint64_t units_per_look = 4096;

}  // namespace

StopPacer::StopPacer(StopCheck* check) noexcept
    : check_(check), countdown_(units_per_look), last_ask_(std::chrono::steady_clock::now()) {}

void StopPacer::look() {
  countdown_ = units_per_look;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ask_ < interval) return;
  last_ask_ = now;
  if (check_->stop_requested()) throw Interrupted();
}

}  // namespace korvane::engine
