// Copy-on-write stores over a register's storage, for trial measurements: the register is only
// read, and a vertex's VOP or adjacency is copied into the overlay the first time it changes. A
// trial measurement therefore costs what it touches, whatever the register's size, and
// everything it made goes with the overlay. An overlay is the store of both the VOPs and the
// adjacency of its view: view_of(overlay, overlay).
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "../base.h"
#include "../bits/bit_row.h"
#include "../containers/neighbor_set.h"
#include "../containers/qubit_map.h"
#include "dense_adjacency.h"
#include "sparse_adjacency.h"
#include "vop_array.h"

namespace korvane::engine {

// The VOPs of an overlay, and the copies of adjacency (a NeighborSet or a row) it has made: one
// entry per vertex it has changed.
template <class Adjacency>
class OverlayEntries {
 public:
  explicit OverlayEntries(const VopArray& base_vops) : base_vops_(base_vops) {}

  std::size_t size() const { return base_vops_.size(); }
  Vop vop(Qubit q) const {
    const Entry* const found = entries_.find(q);
    return found != nullptr ? found->vop : base_vops_.vop(q);
  }
  void set_vop(Qubit q, Vop vop) { entry(q).vop = vop; }

 protected:
  // q's copy of its adjacency, or null when it has none.
  const Adjacency* copy_of(Qubit q) const {
    const Entry* const found = entries_.find(q);
    if (found == nullptr || !found->adjacency_copied) return nullptr;
    return &found->adjacency;
  }
  // q's copy of its adjacency, made by `copy()` first when it has none.
  template <class Copy>
  Adjacency& copied(Qubit q, Copy&& copy) {
    Entry& found = entry(q);
    if (!found.adjacency_copied) {
      found.adjacency = copy();
      found.adjacency_copied = true;
    }
    return found.adjacency;
  }

 private:
  struct Entry {
    Vop vop = 0;
    bool adjacency_copied = false;
    Adjacency adjacency{};
  };

  Entry& entry(Qubit q) {
    return entries_.find_or_make(q, [this, q] { return Entry{base_vops_.vop(q)}; });
  }

  const VopArray& base_vops_;
  QubitMap<Entry> entries_;
};

class SparseOverlay : public OverlayEntries<NeighborSet> {
 public:
  SparseOverlay(const VopArray& base_vops, const SparseAdjacency& base)
      : OverlayEntries(base_vops), base_(base) {}

  const NeighborSet& set(Qubit q) const {
    const NeighborSet* const copy = copy_of(q);
    return copy != nullptr ? *copy : base_.set(q);
  }
  NeighborSet& mutable_set(Qubit q) {
    return copied(q, [this, q] { return base_.set(q); });
  }
  void count_edges(std::ptrdiff_t /*change*/) {}

 private:
  const SparseAdjacency& base_;
};

class DenseOverlay : public OverlayEntries<std::unique_ptr<Word[]>> {
 public:
  DenseOverlay(const VopArray& base_vops, const DenseAdjacency& base)
      : OverlayEntries(base_vops), base_(base), scratch_(2 * base.words()) {}

  std::size_t words() const { return base_.words(); }
  ConstBitRow row(Qubit q) const {
    if (const std::unique_ptr<Word[]>* const copy = copy_of(q)) return {copy->get(), words()};
    return base_.row(q);
  }
  BitRow mutable_row(Qubit q) {
    const std::unique_ptr<Word[]>& copy = copied(q, [this, q] {
      auto fresh = std::make_unique_for_overwrite<Word[]>(words());
      std::ranges::copy(base_.row(q), fresh.get());
      return fresh;
    });
    return {copy.get(), words()};
  }
  BitRow scratch() { return scratch_; }
  void count_edges(std::ptrdiff_t /*change*/) {}
  void forget_edge_count(std::size_t /*words*/) {}

 private:
  const DenseAdjacency& base_;
  std::vector<Word> scratch_;
};

// The overlay of either storage.
inline SparseOverlay overlay_of(const VopArray& vops, const SparseAdjacency& base) {
  return {vops, base};
}
inline DenseOverlay overlay_of(const VopArray& vops, const DenseAdjacency& base) {
  return {vops, base};
}

}  // namespace korvane::engine
