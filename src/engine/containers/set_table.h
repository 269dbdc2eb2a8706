// One NeighborSet per qubit, allocated a block at a time when a qubit of the block first gains a
// neighbour: a qubit in a block never touched reads as having none. A fresh register of 10^7
// qubits therefore costs its VOPs and a pointer per block, and its memory grows with the part of
// the register that entanglement reaches. Blocks hold 4096 sets (64 KiB); a register of at least
// four huge pages of sets takes blocks of one huge page each, which are filled by a single fault.
// The last block holds only the register's remaining qubits. The short arrays of pooled sets come
// from the table's own pool and go with it.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "../base.h"
#include "neighbor_set.h"
#include "small_array_pool.h"

namespace korvane::engine {

class SetTable {
 public:
  explicit SetTable(std::size_t qubits);
  SetTable(const SetTable& other);
  SetTable& operator=(const SetTable& other);
  SetTable(SetTable&&) noexcept = default;
  SetTable& operator=(SetTable&&) noexcept = default;
  ~SetTable() = default;

  const NeighborSet& get(Qubit q) const {
    const Block& block = blocks_[q >> block_shift_];
    return block ? block.get()[q & block_mask()] : none_;
  }

  // q's set, allocating its block first when needed (std::bad_alloc when refused).
  NeighborSet& get_mutable(Qubit q) {
    Block& block = blocks_[q >> block_shift_];
    if (!block) block = make_block(q >> block_shift_);
    return block.get()[q & block_mask()];
  }

  // Where the sets' storage comes from, for their changes.
  SetMemory memory() noexcept { return {qubits_, &pool_}; }
  const SmallArrayPool& pool() const noexcept { return pool_; }

  // Visits every qubit that has a neighbour, with its set.
  template <class Visit>
  void for_each_nonempty(Visit&& visit) const {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      if (!blocks_[b]) continue;
      const NeighborSet* const block = blocks_[b].get();
      const std::size_t sets = blocks_[b].get_deleter().sets;
      for (std::size_t i = 0; i < sets; ++i) {
        if (!block[i].empty()) visit((b << block_shift_) + i, block[i]);
      }
    }
  }

 private:
  struct BlockRelease {
    std::size_t sets = 0;
    void operator()(NeighborSet* block) const noexcept;
  };
  using Block = std::unique_ptr<NeighborSet, BlockRelease>;

  std::size_t block_sets() const noexcept { return std::size_t{1} << block_shift_; }
  std::size_t block_mask() const noexcept { return block_sets() - 1; }
  // Block b, every set empty.
  Block make_block(std::size_t b) const;

  static const NeighborSet none_;
  std::size_t qubits_;
  SmallArrayPool pool_;
  std::vector<Block> blocks_;
  // A block holds 2 to this power sets.
  unsigned block_shift_ = 0;
};

}  // namespace korvane::engine
