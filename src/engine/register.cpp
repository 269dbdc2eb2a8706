#include "register.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "bits/bit_row.h"
#include "containers/memory_budget.h"
#include "containers/neighbor_set.h"
#include "tableau/graph_form.h"

namespace korvane::engine {
namespace {

constexpr std::size_t largest_object =
    static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());

// Throws Fault("capacity overflow") when the arrays of such a register could not be addressed.
std::size_t addressable(std::size_t qubits, Storage storage, const StorageThresholds& thresholds) {
  if (qubits > largest_object / sizeof(NeighborSet)) throw Fault("capacity overflow");
  if (thresholds.starts_dense(storage, qubits) && qubits > 0 &&
      words_for(qubits) > largest_object / sizeof(Word) / qubits) {
    throw Fault("capacity overflow");
  }
  return qubits;
}

std::variant<SparseAdjacency, DenseAdjacency> fresh_adjacency(std::size_t qubits, Storage storage,
                                                              const StorageThresholds& thresholds) {
  if (thresholds.starts_dense(storage, qubits)) return DenseAdjacency(qubits);
  return SparseAdjacency(qubits);
}

DenseAdjacency dense_copy(const SparseAdjacency& sparse, std::size_t qubits, MemoryCharge charge) {
  DenseAdjacency dense(qubits, std::move(charge));
  sparse.for_each_nonempty([&dense](Qubit q, const NeighborSet& set) {
    const BitRow row = dense.mutable_row(q);
    set.for_each([row](Qubit x) { set_bit(row, x); });
  });
  dense.set_edge_count(sparse.edge_count());
  return dense;
}

// Qubit q's neighbour set, empty until now, filled from its row of an adjacency matrix.
void fill_set(SparseAdjacency& sparse, Qubit q, ConstBitRow row) {
  NeighborSet& set = sparse.mutable_set(q);
  const SetMemory memory = sparse.memory();
  for_each_bit(row, [&set, &memory](Qubit x) {
    set.reserve_one_more(memory);
    set.insert_reserved(x);
  });
}

SparseAdjacency sparse_copy(const DenseAdjacency& dense, std::size_t qubits) {
  SparseAdjacency sparse(qubits);
  for (Qubit q = 0; q < qubits; ++q) {
    const ConstBitRow row = dense.row(q);
    if (!any_bit(row)) continue;
    fill_set(sparse, q, row);
  }
  sparse.set_edge_count(dense.edge_count());
  return sparse;
}

RepresentationPolicy policy_for(std::size_t qubits, const StorageThresholds& thresholds) {
  const std::size_t column_words = StabilizerTableau::column_words_for(qubits);
  return {qubits,
          column_words,
          words_for(qubits),
          qubits * column_words,
          graph_form_cost(qubits),
          std::max<std::size_t>(1, thresholds.tableau_threshold_divisor)};
}

// The adjacency of a graph given by rows of words: a matrix when `dense`, else sets.
std::variant<SparseAdjacency, DenseAdjacency> adjacency_of(const GraphForm& form, bool dense,
                                                           MemoryCharge charge) {
  const std::size_t qubits = form.qubits;
  std::size_t edges = 0;
  const ConstBitRow all(form.adjacency.data(), form.adjacency.size());
  edges = count_row(all) / 2;
  if (dense) {
    DenseAdjacency matrix(qubits, std::move(charge));
    for (Qubit q = 0; q < qubits; ++q) {
      const ConstBitRow row = all.subspan(q * form.row_words, form.row_words);
      std::ranges::copy(row, matrix.mutable_row(q).begin());
    }
    matrix.set_edge_count(edges);
    return matrix;
  }
  SparseAdjacency sets(qubits);
  for (Qubit q = 0; q < qubits; ++q) {
    const ConstBitRow row = all.subspan(q * form.row_words, form.row_words);
    if (!any_bit(row)) continue;
    fill_set(sets, q, row);
  }
  sets.set_edge_count(edges);
  return sets;
}

}  // namespace

Register::Register(std::size_t qubit_amount, Storage storage, const StorageThresholds& thresholds)
    : vops_(addressable(qubit_amount, storage, thresholds), clifford::hadamard),
      adjacency_(fresh_adjacency(qubit_amount, storage, thresholds)),
      storage_(storage),
      thresholds_(thresholds),
      dense_degree_sum_(qubit_amount * thresholds.dense_mean_degree(qubit_amount)),
      policy_(policy_for(qubit_amount, thresholds)) {
  if (storage == Storage::tableau) {
    tableau_.emplace(qubit_amount,
                     MemoryCharge::unconditional(StabilizerTableau::tableau_bytes(qubit_amount)));
  }
}

std::size_t Register::degree(Qubit q) const {
  return visit([q](const auto& graph) { return graph.degree(q); });
}

bool Register::has_edge(Qubit a, Qubit b) const {
  return visit([a, b](const auto& graph) { return graph.has_edge(a, b); });
}

std::size_t Register::edge_count() const {
  return visit([](const auto& graph) { return graph.adjacency().edge_count(); });
}

std::vector<Qubit> Register::neighbors(Qubit q) const {
  std::vector<Qubit> list;
  list.reserve(degree(q));
  for_each_neighbor(q, [&list](Qubit x) { list.push_back(x); });
  std::sort(list.begin(), list.end());
  return list;
}

void Register::set_vop(Qubit q, Vop vop) {
  check_index(q);
  if (vop >= clifford::vop_count) throw Fault("a VOP index is below 24");
  hold_graph();
  vops_.set_vop(q, vop);
}

bool Register::add_edge_if_absent(Qubit a, Qubit b) {
  return visit([a, b](auto& graph) {
    if (graph.has_edge(a, b)) return false;
    graph.add_edge(a, b);
    return true;
  });
}

void Register::settle_automatic_storage() noexcept {
  if (tableau_) return;
  const std::size_t qubits = vops_.size();
  try {
    if (const auto* const sparse = std::get_if<SparseAdjacency>(&adjacency_)) {
      if (!thresholds_.keeps_dense(qubits, sparse->edge_count(), false)) return;
      // The matrix must be addressable and fit what other matrices leave of the budget.
      if (words_for(qubits) > largest_object / sizeof(Word) / qubits) return;
      std::optional<MemoryCharge> charge =
          MemoryCharge::within_budget(DenseAdjacency::matrix_bytes(qubits));
      if (charge) adjacency_ = dense_copy(*sparse, qubits, std::move(*charge));
      return;
    }
    auto& dense = *std::get_if<DenseAdjacency>(&adjacency_);
    const std::optional<std::size_t> edges = dense.edge_count_if_cheap();
    if (edges && !thresholds_.keeps_dense(qubits, *edges, true)) {
      adjacency_ = sparse_copy(dense, qubits);
    }
  } catch (...) {
    // Either storage is correct; a refused allocation only keeps the current one.
  }
}

}  // namespace korvane::engine

namespace korvane::engine {

void Register::set_storage(Storage storage) {
  const std::size_t qubits = vops_.size();
  if (storage == Storage::tableau) {
    if (!tableau_) {
      enter_tableau(MemoryCharge::unconditional(StabilizerTableau::tableau_bytes(qubits)));
    }
  } else {
    hold_graph();
    const auto* const sparse = std::get_if<SparseAdjacency>(&adjacency_);
    if (storage == Storage::dense && sparse != nullptr) {
      adjacency_ = dense_copy(*sparse, qubits,
                              MemoryCharge::unconditional(DenseAdjacency::matrix_bytes(qubits)));
    } else if (storage == Storage::sparse && sparse == nullptr) {
      adjacency_ = sparse_copy(*std::get_if<DenseAdjacency>(&adjacency_), qubits);
    }
  }
  storage_ = storage;
}

void Register::return_to_graph_by_policy() noexcept {
  try {
    leave_tableau();
  } catch (...) {
    // The tableau is as good a representation; the next operation tries again.
  }
}

void Register::settle_graph_after(OperationKind kind) noexcept {
  settle_storage();
  if (storage_ != Storage::automatic) return;
  const auto* const dense = std::get_if<DenseAdjacency>(&adjacency_);
  if (dense == nullptr) return;
  const std::size_t meter = dense->work();
  const std::size_t work = meter >= graph_work_seen_ ? meter - graph_work_seen_ : meter;
  graph_work_seen_ = meter;
  if (!policy_.after_graph_operation(kind, work)) return;
  try {
    // The tableau must fit what other matrices leave of the budget, as a matrix must.
    std::optional<MemoryCharge> charge =
        MemoryCharge::within_budget(StabilizerTableau::tableau_bytes(vops_.size()));
    if (charge) enter_tableau(std::move(*charge));
  } catch (...) {
    // Refused memory keeps the graph, which is as good a representation.
  }
}

void Register::enter_tableau(MemoryCharge charge) {
  const std::size_t qubits = vops_.size();
  StabilizerTableau tableau(qubits, std::move(charge));
  std::size_t edges = 0;
  if (const auto* const dense = std::get_if<DenseAdjacency>(&adjacency_)) {
    for (Qubit q = 0; q < qubits; ++q) tableau.set_graph_neighbors(q, dense->row(q));
    edges = dense->edge_count();
  } else {
    const auto& sparse = *std::get_if<SparseAdjacency>(&adjacency_);
    sparse.for_each_nonempty([&tableau](Qubit q, const NeighborSet& set) {
      set.for_each([&tableau, q](Qubit x) {
        if (q < x) tableau.toggle_graph_edge(q, x);
      });
    });
    edges = sparse.edge_count();
  }
  SparseAdjacency empty(qubits);
  tableau_.emplace(std::move(tableau));
  adjacency_ = std::move(empty);
  policy_.entered_tableau(edges);
}

void Register::leave_tableau() const {
  const std::size_t qubits = vops_.size();
  const GraphForm form = graph_form(*tableau_);
  const std::size_t edges =
      count_row(ConstBitRow(form.adjacency.data(), form.adjacency.size())) / 2;
  std::optional<MemoryCharge> charge;
  if (thresholds_.starts_dense(Storage::automatic, qubits) ||
      thresholds_.keeps_dense(qubits, edges, false)) {
    charge = MemoryCharge::within_budget(DenseAdjacency::matrix_bytes(qubits));
  }
  adjacency_ = adjacency_of(form, charge.has_value(), charge ? std::move(*charge) : MemoryCharge{});
  for (Qubit q = 0; q < qubits; ++q) {
    vops_.set_vop(q, clifford::product(vops_.vop(q), form.local_cliffords[q]));
  }
  tableau_.reset();
  policy_.returned_to_graph();
}

}  // namespace korvane::engine
