// A list of qubit indices for the working copies of one operation (a neighbourhood, a class of
// vertices). The first `inline_capacity` entries live inside the object, so the common case of a
// few neighbours allocates nothing; longer lists move to the heap.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>

#include "../base.h"

namespace korvane::engine {

// The inline entries are written before they are read, so they start uninitialised.
class QubitBuffer {  // NOLINT(cppcoreguidelines-pro-type-member-init)
 public:
  static constexpr std::size_t inline_capacity = 16;

  QubitBuffer() = default;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  QubitBuffer(const QubitBuffer&) = delete;
  QubitBuffer& operator=(const QubitBuffer&) = delete;
  ~QubitBuffer() = default;

  // May throw std::bad_alloc; the list is then unchanged.
  void push_back(Qubit q) {
    if (size_ == capacity_) grow();
    data_[size_++] = q;
  }

  std::size_t size() const noexcept { return size_; }
  Qubit operator[](std::size_t i) const noexcept { return data_[i]; }
  const Qubit* begin() const noexcept { return data_; }
  const Qubit* end() const noexcept { return data_ + size_; }

 private:
  void grow() {
    const std::size_t capacity = 2 * capacity_;
    auto heap = std::make_unique_for_overwrite<Qubit[]>(capacity);
    std::copy(data_, data_ + size_, heap.get());
    heap_ = std::move(heap);
    data_ = heap_.get();
    capacity_ = capacity;
  }

  std::array<Qubit, inline_capacity> inline_;
  std::unique_ptr<Qubit[]> heap_;
  Qubit* data_ = inline_.data();
  std::size_t size_ = 0;
  std::size_t capacity_ = inline_capacity;
};

}  // namespace korvane::engine
