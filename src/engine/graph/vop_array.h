// The VOPs of a register: one byte per qubit, in memory for big arrays.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../containers/large_array.h"

namespace korvane::engine {

using clifford::Vop;

class VopArray {
 public:
  // `qubits` VOPs, each `initial`. Throws std::bad_alloc.
  VopArray(std::size_t qubits, Vop initial) : vops_(qubits, initial) {}

  std::size_t size() const noexcept { return vops_.size(); }
  Vop vop(Qubit q) const noexcept { return vops_[q]; }
  void set_vop(Qubit q, Vop vop) noexcept { vops_[q] = vop; }
  void fill(Vop vop) noexcept { std::fill(vops_.begin(), vops_.end(), vop); }
  // VOP q becomes values[q], which must be below 24.
  template <class Index>
  void assign(const Index* values) noexcept {
    std::transform(values, values + size(), vops_.begin(),
                   [](Index value) { return static_cast<Vop>(value); });
  }

 private:
  std::vector<Vop, LargeArrayAllocator<Vop>> vops_;
};

}  // namespace korvane::engine
