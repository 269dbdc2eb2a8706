// A register built directly from a graph and its VOPs, for states known in advance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../register.h"

namespace korvane::engine {

// 64-bit integers from outside, signed or unsigned, read and shown in messages as they are given.
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
  // Whether value i lies in [0, bound).
  bool below(std::size_t i, std::uint64_t bound) const noexcept {
    if (unsigned_ != nullptr) return unsigned_[i] < bound;
    return signed_[i] >= 0 && static_cast<std::uint64_t>(signed_[i]) < bound;
  }
  // Value i, when below() some bound.
  std::uint64_t operator[](std::size_t i) const noexcept {
    return unsigned_ != nullptr ? unsigned_[i] : static_cast<std::uint64_t>(signed_[i]);
  }
  std::string text(std::size_t i) const {
    return unsigned_ != nullptr ? std::to_string(unsigned_[i]) : std::to_string(signed_[i]);
  }

 private:
  const std::int64_t* signed_ = nullptr;
  const std::uint64_t* unsigned_ = nullptr;
};

// The graph state of `edge_rows` rows of two qubit indices each (at edges[2 r] and
// edges[2 r + 1], in either order, each edge once) on `qubits` qubits, with vops[q] applied to
// qubit q, or with no VOP (the identity) when `vops` is null. Throws InvalidInput naming the first
// row that is out of range, a self-loop or a repeat of an earlier row, or the first VOP that is
// not below 24. Costs O(qubits + edge_rows).
Register register_from_graph(std::size_t qubits, GivenIntegers edges, std::size_t edge_rows,
                             GivenIntegers vops);

}  // namespace korvane::engine
