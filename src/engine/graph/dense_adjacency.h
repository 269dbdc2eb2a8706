// Dense adjacency: a bit matrix of N rows, bit b of row a being the edge a-b, with two rows of
// working space for the changes that read copies of rows, and the number of edges. The matrix is
// charged against the process's memory budget for matrices while it lives (memory_budget.h).
//
// Bulk changes (rows XORed into rows) do not count the edges they change, which would cost a
// population count of every row they touch: the count is unknown after them until the matrix
// is counted again.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "../base.h"
#include "../bits/bit_row.h"
#include "../containers/large_array.h"
#include "../containers/memory_budget.h"

namespace korvane::engine {

class DenseAdjacency {
 public:
  // No edges among `qubits` qubits, charged whatever the budget says. Throws std::bad_alloc.
  explicit DenseAdjacency(std::size_t qubits);
  // The same under a charge already made for matrix_bytes(qubits).
  DenseAdjacency(std::size_t qubits, MemoryCharge charge);

  // The bytes of the matrix of `qubits` qubits (which must be addressable).
  static std::size_t matrix_bytes(std::size_t qubits) noexcept {
    return qubits * words_for(qubits) * sizeof(Word);
  }

  std::size_t words() const noexcept { return words_per_row_; }
  ConstBitRow row(Qubit q) const noexcept {
    return {matrix_.data() + q * words_per_row_, words_per_row_};
  }
  // q's row; it stays where it is while other rows change.
  BitRow mutable_row(Qubit q) noexcept {
    return {matrix_.data() + q * words_per_row_, words_per_row_};
  }
  // Two rows of working space.
  BitRow scratch() noexcept { return scratch_; }

  // The edge count, counted from the matrix when bulk changes made it unknown.
  std::size_t edge_count() const noexcept;
  // The edge count when it is known, or when counting the matrix again costs a fraction of the
  // bulk changes made since it was last known; otherwise none.
  std::optional<std::size_t> edge_count_if_cheap() noexcept;
  void set_edge_count(std::size_t edges) noexcept;
  void count_edges(std::ptrdiff_t change) noexcept {
    edges_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(edges_) + change);
    work_ += toggle_work;
  }
  // A bulk change of `words` words of the matrix.
  void forget_edge_count(std::size_t words) noexcept {
    edges_known_ = false;
    bulk_words_ += words;
    work_ += words;
  }
  // The word operations of every change so far, as a meter for choosing a representation.
  std::size_t work() const noexcept { return work_; }

 private:
  std::size_t count_matrix_edges() const noexcept;

  MemoryCharge charge_;
  std::vector<Word, LargeArrayAllocator<Word>> matrix_;
  std::vector<Word> scratch_;
  std::size_t words_per_row_;
  // Exact while edges_known_; bulk_words_ is the work of the bulk changes since it was known.
  std::size_t edges_ = 0;
  bool edges_known_ = true;
  std::size_t bulk_words_ = 0;
  std::size_t work_ = 0;
  static constexpr std::size_t toggle_work = 2;
};

}  // namespace korvane::engine
