#include "graph_edges.h"

#include <algorithm>
#include <string>
#include <utility>

#include "../../clifford/local_clifford.h"
#include "../base.h"

namespace korvane::engine {
namespace {

[[noreturn]] void refuse_row(std::size_t row, std::int64_t a, std::int64_t b,
                             const std::string& why) {
  throw InvalidInput("edge row " + std::to_string(row) + " (" + std::to_string(a) + ", " +
                     std::to_string(b) + ") " + why);
}

// A negative index reads as one beyond any register.
bool in_range(std::int64_t index, std::size_t qubits) {
  return static_cast<std::uint64_t>(index) < qubits;
}

// Whether row `row` of `edges` joins the same two qubits as an earlier row.
bool repeats_an_earlier_row(std::span<const std::int64_t> edges, std::size_t row) {
  const std::int64_t a = edges[2 * row];
  const std::int64_t b = edges[2 * row + 1];
  for (std::size_t earlier = 0; earlier < row; ++earlier) {
    const std::int64_t c = edges[2 * earlier];
    const std::int64_t d = edges[2 * earlier + 1];
    if ((a == c && b == d) || (a == d && b == c)) return true;
  }
  return false;
}

// Adds the edge a-b unless the graph has it, and says whether it did.
template <class Graph>
bool add_edge_if_absent(Graph& graph, Qubit a, Qubit b) {
  if constexpr (requires { graph.add_edge_if_absent(a, b); }) {
    return graph.add_edge_if_absent(a, b);
  } else {
    if (graph.has_edge(a, b)) return false;
    graph.add_edge(a, b);
    return true;
  }
}

// Adds rows [added, end) in order, counting them in `added`, up to a row that cannot go in, whose
// reason it throws. A refused allocation throws std::bad_alloc with the row that needed it absent.
template <class Graph>
void add_rows(Graph& graph, std::span<const std::int64_t> rows, std::size_t& added, std::size_t end,
              std::size_t first_row, EarlierEdges earlier) {
  const std::size_t qubits = graph.size();
  for (; added < end; ++added) {
    const std::int64_t a = rows[2 * added];
    const std::int64_t b = rows[2 * added + 1];
    if (!in_range(a, qubits) || !in_range(b, qubits)) {
      refuse_row(first_row + added, a, b,
                 "names a qubit outside the register of " + std::to_string(qubits) + " qubits");
    }
    if (a == b) refuse_row(first_row + added, a, b, "is a self-loop");
    if (!add_edge_if_absent(graph, static_cast<Qubit>(a), static_cast<Qubit>(b))) {
      if (earlier == EarlierEdges::earlier_rows || repeats_an_earlier_row(rows, added)) {
        refuse_row(first_row + added, a, b, "repeats an earlier edge");
      }
      refuse_row(first_row + added, a, b, "is an edge of the register already");
    }
  }
}

// A register of `qubits` fresh qubits with vops[q] on qubit q, or the identity when `vops` is
// null. The VOPs are checked first: a register is not worth building for a list that is wrong.
template <class Index>
Register register_with_vops(std::size_t qubits, const Index* vops) {
  if (vops != nullptr) {
    for (std::size_t q = 0; q < qubits; ++q) {
      if (std::cmp_less(vops[q], 0) || std::cmp_greater_equal(vops[q], clifford::vop_count)) {
        throw InvalidInput("vops[" + std::to_string(q) + "] is " + std::to_string(vops[q]) +
                           ", and VOPs are 0..23");
      }
    }
  }
  Register reg(qubits);
  if (vops == nullptr) {
    reg.set_every_vop(clifford::identity);
  } else {
    reg.copy_vops(vops);
  }
  return reg;
}

}  // namespace

bool EdgeAdder::add_next(std::size_t count) {
  const std::size_t rows = rows_.size() / 2;
  const std::size_t end = added_ + std::min(count, rows - added_);
  try {
    reg_.visit([&](auto& graph) { add_rows(graph, rows_, added_, end, first_row_, earlier_); });
  } catch (...) {
    take_back();
    throw;
  }
  if (added_ < rows) return true;
  reg_.settle_storage();
  return false;
}

void EdgeAdder::take_back() noexcept {
  // Removing edges takes no memory.
  reg_.visit([&](auto& graph) {
    for (; added_ > 0; --added_) {
      graph.toggle_edge(static_cast<Qubit>(rows_[2 * added_ - 2]),
                        static_cast<Qubit>(rows_[2 * added_ - 1]));
    }
  });
}

void add_graph_edges(Register& reg, std::span<const std::int64_t> rows, std::size_t first_row,
                     EarlierEdges earlier) {
  EdgeAdder adder(reg, rows, first_row, earlier);
  while (adder.add_next(rows.size())) {
  }
}

GraphBuilder::GraphBuilder(std::size_t qubits, const std::int64_t* vops)
    : reg_(register_with_vops(qubits, vops)) {}

GraphBuilder::GraphBuilder(std::size_t qubits, const std::uint8_t* vops)
    : reg_(register_with_vops(qubits, vops)) {}

void GraphBuilder::add_edges(std::span<const std::int64_t> edges) {
  add_graph_edges(reg_, edges, rows_, EarlierEdges::earlier_rows);
  rows_ += edges.size() / 2;
}

Register GraphBuilder::finish() && { return std::move(reg_); }

}  // namespace korvane::engine
