// Stopping long work early. The caller of a long run (Python, for Ctrl-C) may pass a StopCheck;
// the work counts what it does and asks it now and then, between whole operations, and a stop
// unwinds the work with Interrupted. Without a check, counting costs one test of a pointer.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>

namespace korvane::engine {

class StopCheck {
 public:
  virtual ~StopCheck() = default;
  // Whether the work should stop now; asked at most every StopPacer::interval of work.
  virtual bool stop_requested() = 0;
};

// The work was stopped by its StopCheck, which knows why.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "the work was interrupted"; }
};

// Paces the asks of a StopCheck: the clock is read every few thousand units of work (a unit is
// one operation on the register, or on a word of frames), the check asked once `interval` has
// passed since the last ask.
class StopPacer {
 public:
  static constexpr std::chrono::milliseconds interval{20};

  explicit StopPacer(StopCheck* check = nullptr) noexcept;

  // Counts `units` of work done; throws Interrupted when the check, asked now, says stop.
  void count(std::uint64_t units) {
    if (check_ == nullptr) return;
    if (units < countdown_) {
      countdown_ -= units;
      return;
    }
    look();
  }

 private:
  void look();

  StopCheck* check_;
  std::uint64_t countdown_;
  std::chrono::steady_clock::time_point last_ask_;
};

}  // namespace korvane::engine
