// Graph views over a register's own storage, and the dispatch that runs an operation on the
// view of whichever storage the register holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/dense_graph.h"
#include "engine/register.h"
#include "engine/sparse_graph.h"

namespace korvane::engine {

struct SparseRegisterStore {
  Register& reg;

  std::size_t size() const { return reg.vops_.size(); }
  Vop vop(Qubit q) const { return reg.vops_[q]; }
  void set_vop(Qubit q, Vop vop) { reg.vops_[q] = vop; }
  const NeighborSet& set(Qubit q) const { return reg.sets_.get(q); }
  NeighborSet& mutable_set(Qubit q) { return reg.sets_.get_mutable(q); }
  void count_edges(std::ptrdiff_t change) {
    reg.edges_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(reg.edges_) + change);
  }
};

struct DenseRegisterStore {
  Register& reg;

  std::size_t size() const { return reg.vops_.size(); }
  Vop vop(Qubit q) const { return reg.vops_[q]; }
  void set_vop(Qubit q, Vop vop) { reg.vops_[q] = vop; }
  std::size_t words() const { return reg.words_per_row_; }
  const Word* row(Qubit q) const { return reg.rows_.data() + q * reg.words_per_row_; }
  Word* mutable_row(Qubit q) { return reg.rows_.data() + q * reg.words_per_row_; }
  Word* scratch() { return reg.scratch_.data(); }
  void count_edges(std::ptrdiff_t change) {
    reg.edges_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(reg.edges_) + change);
  }
  void forget_edge_count(std::size_t words) {
    reg.edges_known_ = false;
    reg.bulk_words_ += words;
  }
};

// Runs operation(view) on the register's current storage and returns its result.
template <class Operation>
decltype(auto) visit_graph(Register& reg, Operation&& operation) {
  if (reg.is_dense()) {
    DenseRegisterStore store{reg};
    DenseGraph<DenseRegisterStore> graph(store);
    return operation(graph);
  }
  SparseRegisterStore store{reg};
  SparseGraph<SparseRegisterStore> graph(store);
  return operation(graph);
}

}  // namespace korvane::engine
