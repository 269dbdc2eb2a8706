#include "graph_edges.h"

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>

#include "../../clifford/local_clifford.h"
#include "../base.h"

namespace korvane::engine {
namespace {

// Index is std::int64_t or std::uint64_t: the values are shown as they were given.
template <class Index>
[[noreturn]] void refuse_row(std::size_t row, Index a, Index b, const std::string& why) {
  throw InvalidInput("edge row " + std::to_string(row) + " (" + std::to_string(a) + ", " +
                     std::to_string(b) + ") " + why);
}

// A negative index reads as one beyond any register.
template <class Index>
bool in_range(Index index, std::size_t qubits) {
  return static_cast<std::uint64_t>(index) < qubits;
}

// Whether row `row` of `rows` joins the same two qubits as an earlier row.
template <class Index>
bool repeats_an_earlier_row(const Index* rows, std::size_t row) {
  const Index a = rows[2 * row];
  const Index b = rows[2 * row + 1];
  for (std::size_t earlier = 0; earlier < row; ++earlier) {
    const Index c = rows[2 * earlier];
    const Index d = rows[2 * earlier + 1];
    if ((a == c && b == d) || (a == d && b == c)) return true;
  }
  return false;
}

// Adds the edge a-b unless the graph has it, and says whether it did.
template <class Graph>
[[gnu::noinline]] bool add_edge_anywhere(Graph& graph, Qubit a, Qubit b) {
  if constexpr (requires { graph.add_edge_if_absent(a, b); }) {
    return graph.add_edge_if_absent(a, b);
  } else {
    if (graph.has_edge(a, b)) return false;
    graph.add_edge(a, b);
    return true;
  }
}

// The same, where two sets with room in their objects (every edge of a wire, a chain or a 2D
// cluster) take it word by word, inline.
template <class Graph>
[[gnu::always_inline]] inline bool add_edge_if_absent(Graph& graph, Qubit a, Qubit b) {
  if constexpr (requires { graph.adjacency().memory(); }) {
    auto& sets = graph.adjacency();
    NeighborSet& set_a = sets.mutable_set(a);
    NeighborSet& set_b = sets.mutable_set(b);
    if (set_a.has_room_in_object() && set_b.has_room_in_object() &&
        graph.size() <= NeighborSet::narrow_universe) {
      if (!set_a.insert_new_into_object_room(b)) return false;
      set_b.insert_new_into_object_room(a);
      sets.count_edges(1);
      return true;
    }
  }
  return add_edge_anywhere(graph, a, b);
}

// Throws why row `row` (a, b) cannot go in: a qubit out of range, a self-loop, or an edge the
// graph has.
template <class Index>
[[noreturn, gnu::noinline]] void refuse(const Index* rows, std::size_t row, std::size_t first_row,
                                        std::size_t qubits, EarlierEdges earlier) {
  const Index a = rows[2 * row];
  const Index b = rows[2 * row + 1];
  if (!in_range(a, qubits) || !in_range(b, qubits)) {
    refuse_row(first_row + row, a, b,
               "names a qubit outside the register of " + std::to_string(qubits) + " qubits");
  }
  if (a == b) refuse_row(first_row + row, a, b, "is a self-loop");
  if (earlier == EarlierEdges::earlier_rows || repeats_an_earlier_row(rows, row)) {
    refuse_row(first_row + row, a, b, "repeats an earlier edge");
  }
  refuse_row(first_row + row, a, b, "is an edge of the register already");
}

// Rows are asked of memory this many rows ahead of their use, so that they stream in while the
// sets of earlier rows change.
constexpr std::size_t prefetched_rows = 64;

// Adds rows [added, end) in order, counting them in `added`, up to a row that cannot go in, whose
// reason it throws. A refused allocation throws std::bad_alloc with the row that needed it absent.
template <class Graph, class Index>
void add_rows(Graph& graph, const Index* rows, std::size_t& added, std::size_t end,
              std::size_t first_row, EarlierEdges earlier) {
  const std::size_t qubits = graph.size();
  // The count stays in a register, and goes back to `added` however the loop ends.
  std::size_t row = added;
  try {
    for (; row < end; ++row) {
      if (row + prefetched_rows < end) __builtin_prefetch(rows + 2 * (row + prefetched_rows));
      const Index a = rows[2 * row];
      const Index b = rows[2 * row + 1];
      if (!in_range(a, qubits) || !in_range(b, qubits) || a == b) {
        refuse(rows, row, first_row, qubits, earlier);
      }
      if (!add_edge_if_absent(graph, static_cast<Qubit>(a), static_cast<Qubit>(b))) {
        refuse(rows, row, first_row, qubits, earlier);
      }
    }
  } catch (...) {
    added = row;
    throw;
  }
  added = end;
}

// Whether a given value is a VOP index; a negative one, read as unsigned, is not.
template <class Index>
bool is_vop(Index value) {
  return static_cast<std::uint64_t>(value) < clifford::vop_count;
}

// A register of `qubits` fresh qubits with vops[q] on qubit q, or the identity when `vops` is
// null. The VOPs are checked first: a register is not worth building for a list that is wrong.
template <class Index>
Register register_with_vops(std::size_t qubits, const Index* vops) {
  // The largest value, read as unsigned so that a negative one is large, in a loop the compiler
  // vectorizes; the first bad VOP is looked for only when there is one.
  std::make_unsigned_t<Index> largest = 0;
  const std::size_t given = vops == nullptr ? 0 : qubits;
  for (std::size_t q = 0; q < given; ++q) {
    largest = std::max(largest, static_cast<std::make_unsigned_t<Index>>(vops[q]));
  }
  if (largest >= clifford::vop_count) {
    const auto* const bad = std::find_if_not(vops, vops + qubits, is_vop<Index>);
    throw InvalidInput("vops[" + std::to_string(bad - vops) + "] is " + std::to_string(*bad) +
                       ", and VOPs are 0..23");
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
  const std::size_t rows = row_count_;
  const std::size_t end = added_ + std::min(count, rows - added_);
  try {
    rows_.visit([&](const auto* values) {
      reg_.visit([&](auto& graph) { add_rows(graph, values, added_, end, first_row_, earlier_); });
    });
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
  rows_.visit([&](const auto* values) {
    reg_.visit([&](auto& graph) {
      for (; added_ > 0; --added_) {
        graph.toggle_edge(static_cast<Qubit>(values[2 * added_ - 2]),
                          static_cast<Qubit>(values[2 * added_ - 1]));
      }
    });
  });
}

void add_graph_edges(Register& reg, GivenIntegers rows, std::size_t row_count,
                     std::size_t first_row, EarlierEdges earlier) {
  EdgeAdder adder(reg, rows, row_count, first_row, earlier);
  while (adder.add_next(row_count)) {
  }
}

GraphBuilder::GraphBuilder(std::size_t qubits, GivenIntegers vops)
    : reg_(vops.present()
               ? vops.visit([&](const auto* values) { return register_with_vops(qubits, values); })
               : register_with_vops(qubits, static_cast<const std::uint8_t*>(nullptr))) {}

GraphBuilder::GraphBuilder(std::size_t qubits, const std::uint8_t* vops)
    : reg_(register_with_vops(qubits, vops)) {}

void GraphBuilder::add_edges(GivenIntegers edges, std::size_t row_count) {
  add_graph_edges(reg_, edges, row_count, rows_, EarlierEdges::earlier_rows);
  rows_ += row_count;
}

Register GraphBuilder::finish() && { return std::move(reg_); }

}  // namespace korvane::engine
