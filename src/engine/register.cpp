#include "register.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "bits/bit_row.h"
#include "containers/memory_budget.h"
#include "containers/neighbor_set.h"

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

SparseAdjacency sparse_copy(const DenseAdjacency& dense, std::size_t qubits) {
  SparseAdjacency sparse(qubits);
  for (Qubit q = 0; q < qubits; ++q) {
    const ConstBitRow row = dense.row(q);
    if (!any_bit(row)) continue;
    NeighborSet& set = sparse.mutable_set(q);
    for_each_bit(row, [&set, qubits](Qubit x) {
      set.reserve_one_more(qubits);
      set.insert_reserved(x);
    });
  }
  sparse.set_edge_count(dense.edge_count());
  return sparse;
}

}  // namespace

Register::Register(std::size_t qubit_amount, Storage storage, const StorageThresholds& thresholds)
    : vops_(addressable(qubit_amount, storage, thresholds), clifford::hadamard),
      adjacency_(fresh_adjacency(qubit_amount, storage, thresholds)),
      storage_(storage),
      thresholds_(thresholds) {}

std::size_t Register::degree(Qubit q) const noexcept {
  return visit([q](const auto& graph) { return graph.degree(q); });
}

bool Register::has_edge(Qubit a, Qubit b) const noexcept {
  return visit([a, b](const auto& graph) { return graph.has_edge(a, b); });
}

std::size_t Register::edge_count() const noexcept {
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
