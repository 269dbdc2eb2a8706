// Sparse adjacency: a NeighborSet per qubit, and the number of edges.
#pragma once

#include <cstddef>

#include "../base.h"
#include "../containers/neighbor_set.h"
#include "../containers/set_table.h"

namespace korvane::engine {

class SparseAdjacency {
 public:
  // No edges among `qubits` qubits. Throws std::bad_alloc.
  explicit SparseAdjacency(std::size_t qubits) : sets_(qubits) {}

  const NeighborSet& set(Qubit q) const { return sets_.get(q); }
  // q's set; its reference stays valid while other sets change. Throws std::bad_alloc.
  NeighborSet& mutable_set(Qubit q) { return sets_.get_mutable(q); }
  // Where the sets' storage comes from, for their changes.
  SetMemory memory() noexcept { return sets_.memory(); }

  // Visits every qubit that has a neighbour, with its set.
  template <class Visit>
  void for_each_nonempty(Visit&& visit) const {
    sets_.for_each_nonempty(visit);
  }

  std::size_t edge_count() const noexcept { return edges_; }
  void set_edge_count(std::size_t edges) noexcept { edges_ = edges; }
  void count_edges(std::ptrdiff_t change) noexcept {
    edges_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(edges_) + change);
  }

 private:
  SetTable sets_;
  std::size_t edges_ = 0;
};

}  // namespace korvane::engine
