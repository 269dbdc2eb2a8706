// The most recent part of a run's measurement record: as far back as the program's rec[-k] reach.
// A ring of 2^m entries, each one bit (a run on the register) or one block of frame words.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korvane::circuit {

template <class Entry>
class RecordWindow {
 public:
  // Keeps the last `lookback` entries, each `entry_size` values wide.
  explicit RecordWindow(std::uint32_t lookback, std::size_t entry_size = 1)
      : entry_size_(entry_size),
        mask_(std::bit_ceil(std::max<std::uint64_t>(lookback, 1)) - 1),
        entries_((mask_ + 1) * entry_size) {}

  // Forgets everything, for the next run. Nothing is read before it is written again: the parser
  // refuses a rec[-k] that reaches before the first measurement.
  void restart() noexcept { count_ = 0; }

  void push(Entry bit) noexcept { entries_[count_++ & mask_] = bit; }
  // rec[-k]: the k-th most recent entry.
  Entry back(std::uint64_t k) const noexcept { return entries_[(count_ - k) & mask_]; }

  // Wide entries: the next one to fill, and rec[-k].
  std::span<Entry> push_wide() noexcept {
    return {entries_.data() + (count_++ & mask_) * entry_size_, entry_size_};
  }
  std::span<const Entry> back_wide(std::uint64_t k) const noexcept {
    return {entries_.data() + ((count_ - k) & mask_) * entry_size_, entry_size_};
  }

 private:
  std::size_t entry_size_;
  std::uint64_t mask_;
  std::uint64_t count_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace korvane::circuit
