// One NeighborSet per qubit, allocated a block at a time when a qubit of the block first gains a
// neighbour: a qubit in a block never touched reads as having none. A fresh register of 10^7
// qubits therefore costs its VOPs and a pointer per block, and its memory grows with the part of
// the register that entanglement reaches.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/neighbor_set.h"

namespace korvane::engine {

class SetTable {
 public:
  static constexpr std::size_t block_size = 4096;

  SetTable() = default;
  explicit SetTable(std::size_t qubits) : blocks_((qubits + block_size - 1) / block_size) {}
  SetTable(const SetTable& other);
  SetTable& operator=(const SetTable& other);
  SetTable(SetTable&&) noexcept = default;
  SetTable& operator=(SetTable&&) noexcept = default;
  ~SetTable() = default;

  const NeighborSet& get(Qubit q) const {
    const std::unique_ptr<NeighborSet[]>& block = blocks_[q / block_size];
    return block ? block[q % block_size] : none_;
  }

  // q's set, allocating its block first when needed (std::bad_alloc when refused).
  NeighborSet& get_mutable(Qubit q) {
    std::unique_ptr<NeighborSet[]>& block = blocks_[q / block_size];
    if (!block) block = std::make_unique<NeighborSet[]>(block_size);
    return block[q % block_size];
  }

  // Visits every qubit that has a neighbour, with its set.
  template <class Visit>
  void for_each_nonempty(Visit&& visit) const {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      if (!blocks_[b]) continue;
      for (std::size_t i = 0; i < block_size; ++i)
        if (!blocks_[b][i].empty()) visit(b * block_size + i, blocks_[b][i]);
    }
  }

 private:
  static const NeighborSet none_;
  std::vector<std::unique_ptr<NeighborSet[]>> blocks_;
};

}  // namespace korvane::engine
