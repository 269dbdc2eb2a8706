// Copy-on-write views of a register for trial measurements: the register is only read, and a
// vertex's VOP or adjacency is copied into storage owned by the overlay the first time it
// changes. A trial measurement therefore costs what it touches, whatever the register's size,
// and everything it made goes when the overlay does.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "engine/bit_row.h"
#include "engine/neighbor_set.h"
#include "engine/register.h"

namespace korvane::engine {

// Read access to a register's storage for the overlays.
struct RegisterReader {
  const Register& reg;

  std::size_t size() const { return reg.vops_.size(); }
  Vop vop(Qubit q) const { return reg.vops_[q]; }
  const NeighborSet& set(Qubit q) const { return reg.sets_.get(q); }
  std::size_t words() const { return reg.words_per_row_; }
  const Word* row(Qubit q) const { return reg.rows_.data() + q * reg.words_per_row_; }
};

// The VOPs and adjacency copies an overlay holds, keyed by qubit: entries in a deque (references
// stay valid while others are added, and storage comes in blocks) found through an
// open-addressing index (linear probing, at most half full).
template <class Adjacency>
class OverlayEntries {
 public:
  struct Entry {
    Qubit qubit = 0;
    Vop vop = 0;
    bool adjacency_copied = false;
    Adjacency adjacency{};
  };

  const Entry* find(Qubit q) const {
    if (index_.empty()) return nullptr;
    for (std::size_t i = home(q);; i = (i + 1) & (index_.size() - 1)) {
      if (index_[i] == 0) return nullptr;
      const Entry& candidate = entries_[index_[i] - 1];
      if (candidate.qubit == q) return &candidate;
    }
  }

  // The entry of q, made with q's VOP from the register when it is new.
  Entry& entry(Qubit q, Vop base_vop) {
    if (const Entry* found = find(q)) return const_cast<Entry&>(*found);
    if (2 * (entries_.size() + 1) > index_.size()) grow();
    entries_.push_back(Entry{q, base_vop});
    place(q, entries_.size());
    return entries_.back();
  }

 private:
  std::size_t home(Qubit q) const {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(q) * 0x9E3779B97F4A7C15ULL) >>
                                    (64 - std::countr_zero(index_.size())));
  }
  void place(Qubit q, std::size_t position) {
    std::size_t i = home(q);
    while (index_[i] != 0) i = (i + 1) & (index_.size() - 1);
    index_[i] = position;
  }
  void grow() {
    std::vector<std::size_t> larger(index_.empty() ? 16 : 2 * index_.size());
    index_.swap(larger);
    for (std::size_t position = 1; position <= entries_.size(); ++position)
      place(entries_[position - 1].qubit, position);
  }

  std::deque<Entry> entries_;
  // Position in entries_ plus one; 0 is an empty slot.
  std::vector<std::size_t> index_;
};

class SparseOverlayStore {
 public:
  explicit SparseOverlayStore(const Register& reg) : base_{reg} {}

  std::size_t size() const { return base_.size(); }
  Vop vop(Qubit q) const {
    const auto* entry = entries_.find(q);
    return entry != nullptr ? entry->vop : base_.vop(q);
  }
  void set_vop(Qubit q, Vop vop) { entries_.entry(q, base_.vop(q)).vop = vop; }
  const NeighborSet& set(Qubit q) const {
    const auto* entry = entries_.find(q);
    return entry != nullptr && entry->adjacency_copied ? entry->adjacency : base_.set(q);
  }
  NeighborSet& mutable_set(Qubit q) {
    auto& entry = entries_.entry(q, base_.vop(q));
    if (!entry.adjacency_copied) {
      entry.adjacency = base_.set(q);
      entry.adjacency_copied = true;
    }
    return entry.adjacency;
  }
  void count_edges(std::ptrdiff_t /*change*/) {}

 private:
  RegisterReader base_;
  OverlayEntries<NeighborSet> entries_;
};

class DenseOverlayStore {
 public:
  explicit DenseOverlayStore(const Register& reg) : base_{reg}, scratch_(2 * base_.words()) {}

  std::size_t size() const { return base_.size(); }
  Vop vop(Qubit q) const {
    const auto* entry = entries_.find(q);
    return entry != nullptr ? entry->vop : base_.vop(q);
  }
  void set_vop(Qubit q, Vop vop) { entries_.entry(q, base_.vop(q)).vop = vop; }
  std::size_t words() const { return base_.words(); }
  const Word* row(Qubit q) const {
    const auto* entry = entries_.find(q);
    return entry != nullptr && entry->adjacency_copied ? entry->adjacency.get() : base_.row(q);
  }
  Word* mutable_row(Qubit q) { return copied(q).get(); }
  Word* scratch() { return scratch_.data(); }
  void count_edges(std::ptrdiff_t /*change*/) {}
  void forget_edge_count(std::size_t /*words*/) {}

 private:
  using Row = std::unique_ptr<Word[]>;

  Row& copied(Qubit q) {
    auto& entry = entries_.entry(q, base_.vop(q));
    if (!entry.adjacency_copied) {
      const std::size_t row_words = base_.words();
      entry.adjacency = std::make_unique_for_overwrite<Word[]>(row_words);
      std::copy(base_.row(q), base_.row(q) + row_words, entry.adjacency.get());
      entry.adjacency_copied = true;
    }
    return entry.adjacency;
  }

  RegisterReader base_;
  OverlayEntries<Row> entries_;
  std::vector<Word> scratch_;
};

}  // namespace korvane::engine
