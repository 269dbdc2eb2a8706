#include "set_table.h"

#include <algorithm>
#include <utility>

#include "large_array.h"

namespace korvane::engine {
namespace {

// A block of 2^12 sets takes 64 KiB.
constexpr unsigned small_block_shift = 12;
// A block of 2^17 sets fills one huge page.
constexpr unsigned huge_block_shift = 17;
static_assert((std::size_t{sizeof(NeighborSet)} << huge_block_shift) == huge_page_bytes);
// Registers with sets for at least this many huge pages take huge blocks.
constexpr std::size_t huge_blocks_from_pages = 4;

}  // namespace

const NeighborSet SetTable::none_;

SetTable::SetTable(std::size_t qubits)
    : qubits_(qubits),
      block_shift_(qubits >= (huge_blocks_from_pages << huge_block_shift) ? huge_block_shift
                                                                          : small_block_shift) {
  blocks_.resize((qubits + block_sets() - 1) >> block_shift_);
}

void SetTable::BlockRelease::operator()(NeighborSet* block) const noexcept {
  std::destroy_n(block, sets);
  release_large(block, sets * sizeof(NeighborSet));
}

SetTable::Block SetTable::make_block(std::size_t b) const {
  const std::size_t sets = std::min(block_sets(), qubits_ - (b << block_shift_));
  void* const block = allocate_large(sets * sizeof(NeighborSet));
  // Default construction cannot throw.
  std::uninitialized_default_construct_n(static_cast<NeighborSet*>(block), sets);
  return Block(static_cast<NeighborSet*>(block), BlockRelease{sets});
}

SetTable::SetTable(const SetTable& other)
    : qubits_(other.qubits_), blocks_(other.blocks_.size()), block_shift_(other.block_shift_) {
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    if (!other.blocks_[b]) continue;
    blocks_[b] = make_block(b);
    const NeighborSet* const from = other.blocks_[b].get();
    NeighborSet* const to = blocks_[b].get();
    const std::size_t sets = blocks_[b].get_deleter().sets;
    for (std::size_t i = 0; i < sets; ++i) to[i] = NeighborSet(from[i], pool_);
  }
}

SetTable& SetTable::operator=(const SetTable& other) {
  if (this != &other) {
    SetTable copy(other);
    *this = std::move(copy);
  }
  return *this;
}

}  // namespace korvane::engine
