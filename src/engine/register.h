// The graph-state register: N qubits, each a vertex of an undirected simple graph with a VOP
// (one of the 24 local Cliffords). The state it stands for: every qubit in |+>, a controlled-Z
// along every edge, then each VOP.
//
// Many graphs with VOPs stand for one state; the operations keep whichever of them is cheapest to
// work on, so the graph is a representation and never itself observable. The adjacency is kept
// in one of two storages, chosen by the graph's density and the memory a matrix would take
// (storage_policy.h):
//  - sparse: a NeighborSet per vertex (a short array, or a hash table for a hub), so a graph of
//    10^7 qubits costs a few words per qubit plus its edges;
//  - dense: a bit matrix of N rows, for small registers and for graphs with many edges per
//    vertex, where complementing a neighbourhood becomes a handful of word-wide XORs per row.
// Sparse storage keeps the neighbours of a vertex of high degree as a bit row too, so a graph that
// fills in where no matrix fits still changes a word at a time.
// Operations (ops/) change the register through change(), which checks their qubits, hands them
// a view (graph_view.h) of whichever storage the register holds, and then lets the storage follow
// the graph's new density; reading operations go through inspect(), the same without a change.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <type_traits>
#include <variant>
#include <vector>

#include "../clifford/local_clifford.h"
#include "base.h"
#include "graph/dense_adjacency.h"
#include "graph/dense_graph.h"
#include "graph/sparse_adjacency.h"
#include "graph/sparse_graph.h"
#include "graph/vop_array.h"
#include "storage_policy.h"

namespace korvane::engine {

using clifford::Vop;

class Register {
 public:
  // A register of `qubit_amount` fresh qubits in |0...0>: no edges, every VOP the Hadamard.
  // Throws Fault("capacity overflow") when the register could not be addressed and
  // std::bad_alloc when its memory is refused. `thresholds` tune the automatic storage.
  explicit Register(std::size_t qubit_amount, Storage storage = Storage::automatic,
                    const StorageThresholds& thresholds = {});

  std::size_t size() const noexcept { return vops_.size(); }

  // Throws the index fault when q is not a qubit of this register.
  void check_index(Qubit q) const {
    if (q >= vops_.size()) throw_index_fault(vops_.size(), q);
  }

  Vop vop(Qubit q) const noexcept { return vops_.vop(q); }

  // Checks q, then applies `gate` after q's VOP: vop <- product[gate][vop].
  void apply_clifford(Qubit q, Vop gate) {
    check_index(q);
    vops_.set_vop(q, clifford::product(gate, vops_.vop(q)));
  }

  // Reading the graph. Indices are not checked.
  std::size_t degree(Qubit q) const noexcept;
  bool has_edge(Qubit a, Qubit b) const noexcept;
  // q's neighbours in increasing order.
  std::vector<Qubit> neighbors(Qubit q) const;
  // Calls on_neighbor(x) for each neighbour x of q, in no particular order.
  template <class OnNeighbor>
  void for_each_neighbor(Qubit q, OnNeighbor&& on_neighbor) const {
    visit([q, &on_neighbor](const auto& graph) { graph.for_each_neighbor(q, on_neighbor); });
  }
  std::size_t edge_count() const noexcept;
  bool is_dense() const noexcept { return std::holds_alternative<DenseAdjacency>(adjacency_); }

  // The one way operations change the register: checks each of `operands` in turn (the index
  // fault names the first out of range, before anything changes), runs operation(graph) on the
  // graph in its current storage, settles the storage, and returns what the operation returns.
  // An operation that throws leaves the storage unsettled.
  template <class Operation>
  decltype(auto) change(std::initializer_list<Qubit> operands, Operation&& operation) {
    for (const Qubit q : operands) check_index(q);
    if constexpr (std::is_void_v<decltype(visit(operation))>) {
      visit(operation);
      settle_storage();
    } else {
      decltype(auto) result = visit(operation);
      settle_storage();
      return result;
    }
  }

  // The same for an operation that only reads: checks `operands`, then returns operation(graph)
  // on a view that only reads.
  template <class Operation>
  decltype(auto) inspect(std::initializer_list<Qubit> operands, Operation&& operation) const {
    for (const Qubit q : operands) check_index(q);
    return visit(operation);
  }

  // Building a register from a known graph state (io/): set_vop checks q and the VOP before any
  // change; add_edge_if_absent takes indices already checked (a != b, both below size), adds the
  // edge a-b unless it is there and says whether it did (a refused allocation throws
  // std::bad_alloc with the edge absent). Neither settles the storage: the builder calls
  // settle_storage() once the graph is complete.
  void set_vop(Qubit q, Vop vop);
  bool add_edge_if_absent(Qubit a, Qubit b);

  // Moves the graph to the storage that suits its density, when the storage is automatic and a
  // matrix fits the memory budget. Never fails: a refused allocation keeps the current storage.
  void settle_storage() noexcept {
    if (thresholds_.storage_may_change(storage_, vops_.size())) settle_automatic_storage();
  }

  // Runs operation(graph) on a view of the register's graph in its current storage, a
  // SparseGraph or a DenseGraph, and returns what it returns. Through a const register the view
  // only reads. Indices reaching the view are not checked and the storage is not settled:
  // change() and inspect() add both for operations.
  template <class Operation>
  decltype(auto) visit(Operation&& operation) {
    if (auto* const dense = std::get_if<DenseAdjacency>(&adjacency_)) {
      auto graph = view_of(vops_, *dense);
      return operation(graph);
    }
    auto graph = view_of(vops_, *std::get_if<SparseAdjacency>(&adjacency_));
    return operation(graph);
  }
  template <class Operation>
  decltype(auto) visit(Operation&& operation) const {
    if (const auto* const dense = std::get_if<DenseAdjacency>(&adjacency_)) {
      const auto graph = view_of(vops_, *dense);
      return operation(graph);
    }
    const auto graph = view_of(vops_, *std::get_if<SparseAdjacency>(&adjacency_));
    return operation(graph);
  }

 private:
  void settle_automatic_storage() noexcept;

  VopArray vops_;
  std::variant<SparseAdjacency, DenseAdjacency> adjacency_;
  Storage storage_;
  StorageThresholds thresholds_;
};

}  // namespace korvane::engine
