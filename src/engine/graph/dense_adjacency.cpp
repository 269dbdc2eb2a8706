#include "dense_adjacency.h"

#include <utility>

namespace korvane::engine {
namespace {

// Counting the matrix again waits until the bulk changes since the last count have done this
// many times its work, which adds a fraction to their cost.
constexpr std::size_t bulk_work_per_recount = 4;

}  // namespace

DenseAdjacency::DenseAdjacency(std::size_t qubits)
    : DenseAdjacency(qubits, MemoryCharge::unconditional(matrix_bytes(qubits))) {}

DenseAdjacency::DenseAdjacency(std::size_t qubits, MemoryCharge charge)
    : charge_(std::move(charge)),
      matrix_(qubits * words_for(qubits)),
      scratch_(2 * words_for(qubits)),
      words_per_row_(words_for(qubits)) {}

std::size_t DenseAdjacency::count_matrix_edges() const noexcept {
  return count_row(ConstBitRow(matrix_.data(), matrix_.size())) / 2;
}

std::size_t DenseAdjacency::edge_count() const noexcept {
  return edges_known_ ? edges_ : count_matrix_edges();
}

std::optional<std::size_t> DenseAdjacency::edge_count_if_cheap() noexcept {
  if (!edges_known_) {
    if (bulk_words_ < bulk_work_per_recount * matrix_.size()) return std::nullopt;
    set_edge_count(count_matrix_edges());
  }
  return edges_;
}

void DenseAdjacency::set_edge_count(std::size_t edges) noexcept {
  edges_ = edges;
  edges_known_ = true;
  bulk_words_ = 0;
}

}  // namespace korvane::engine
