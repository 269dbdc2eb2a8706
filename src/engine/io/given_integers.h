// 64-bit integers from outside (qubit indices, VOPs), signed or unsigned as they are given, so
// that a message shows the value the caller gave: an unsigned 2^63 is not read as negative.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane::engine {

class GivenIntegers {
 public:
  // Implicit, so that a pointer to either kind (or nullptr for none) is passed as it is.
  // cppcheck-suppress noExplicitConstructor
  GivenIntegers(std::nullptr_t /*none*/) noexcept {}
  // cppcheck-suppress noExplicitConstructor
  GivenIntegers(const std::int64_t* values) noexcept : signed_(values) {}
  // cppcheck-suppress noExplicitConstructor
  GivenIntegers(const std::uint64_t* values) noexcept : unsigned_(values) {}

  bool present() const noexcept { return signed_ != nullptr || unsigned_ != nullptr; }
  // The values from index `first` on.
  GivenIntegers from(std::size_t first) const noexcept {
    if (unsigned_ != nullptr) return unsigned_ + first;
    if (signed_ != nullptr) return signed_ + first;
    return nullptr;
  }
  // use(values) with the pointer of the kind given, so that a loop over many values is compiled
  // once for each kind instead of asking the kind at every value. Only when present().
  template <class Use>
  decltype(auto) visit(Use&& use) const {
    if (unsigned_ != nullptr) return use(unsigned_);
    return use(signed_);
  }

 private:
  const std::int64_t* signed_ = nullptr;
  const std::uint64_t* unsigned_ = nullptr;
};

}  // namespace korvane::engine
