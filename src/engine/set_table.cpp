#include "engine/set_table.h"

#include <algorithm>
#include <utility>

namespace korvane::engine {

const NeighborSet SetTable::none_;

SetTable::SetTable(const SetTable& other) : blocks_(other.blocks_.size()) {
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    if (!other.blocks_[b]) continue;
    blocks_[b] = std::make_unique<NeighborSet[]>(block_size);
    std::copy(other.blocks_[b].get(), other.blocks_[b].get() + block_size, blocks_[b].get());
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
