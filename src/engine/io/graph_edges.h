// Edges added to a register's graph from rows of qubit pairs, checked, all or nothing: the way a
// graph state given as data is built, in one piece or in chunks, without a change of any VOP.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../register.h"
#include "given_integers.h"

namespace korvane::engine {

// Where the edges a graph has before a call came from, for the message that refuses a row
// repeating one of them.
enum class EarlierEdges : std::uint8_t {
  earlier_rows,  // rows of the same build (earlier chunks): "repeats an earlier edge"
  register_own,  // the register's own graph, unless repeated within this call
};

// Adds the edge of every row (rows[2 r], rows[2 r + 1], in either order) to a register's graph,
// keeping every VOP: the state becomes that of the graph with these edges, with the VOPs as they
// are. Rows go in a batch at a time, so that a caller can stop between batches, and either all go
// in or none: a row out of range, a self-loop or an edge the graph has already throws InvalidInput
// naming the row, numbered from `first_row`, and a refused allocation throws std::bad_alloc, each
// after taking out every row the adder added. Costs O(rows) for graphs of bounded degree.
class EdgeAdder {
 public:
  // `row_count` rows at `rows`, which must outlive the adder.
  EdgeAdder(Register& reg, GivenIntegers rows, std::size_t row_count, std::size_t first_row,
            EarlierEdges earlier) noexcept
      : reg_(reg), rows_(rows), row_count_(row_count), first_row_(first_row), earlier_(earlier) {}

  // Adds the next `count` rows (or the rest, if fewer); false once every row is in, and the
  // register's storage is then settled.
  bool add_next(std::size_t count);
  // Takes out every row added so far, for a caller that stops before the end.
  void take_back() noexcept;

 private:
  Register& reg_;
  GivenIntegers rows_;
  std::size_t row_count_;
  std::size_t first_row_;
  EarlierEdges earlier_;
  std::size_t added_ = 0;
};

// All rows at once with an EdgeAdder.
void add_graph_edges(Register& reg, GivenIntegers rows, std::size_t row_count,
                     std::size_t first_row, EarlierEdges earlier);

// A register built from a graph given in pieces: its VOPs first, then its edges in any number of
// chunks, each checked as add_graph_edges does, with rows numbered across the chunks.
class GraphBuilder {
 public:
  // `qubits` qubits, qubit q with vops[q], or with the identity when `vops` is null or not given.
  // Throws InvalidInput naming the first VOP that is not below 24, and what Register throws.
  GraphBuilder(std::size_t qubits, GivenIntegers vops);
  GraphBuilder(std::size_t qubits, const std::uint8_t* vops);
  explicit GraphBuilder(std::size_t qubits)
      : GraphBuilder(qubits, static_cast<const std::uint8_t*>(nullptr)) {}

  // Adds `row_count` rows of `edges` (two qubit indices each). A refused row leaves the register
  // as it was before this chunk, and the build may go on or stop.
  void add_edges(GivenIntegers edges, std::size_t row_count);
  std::size_t rows() const noexcept { return rows_; }

  // The register, in the storage that suits its graph; the builder is spent.
  Register finish() &&;

 private:
  Register reg_;
  std::size_t rows_ = 0;
};

}  // namespace korvane::engine
