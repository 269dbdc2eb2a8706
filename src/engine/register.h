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
//
// Where the graph is so dense that gates cost more on it than on a stabilizer tableau, the state
// moves to a tableau with the same VOPs beside it (tableau/), chosen by the work both do
// (tableau/representation_policy.h): gates and measurements, which run on either
// (change_either()), then run on the tableau, and the first read of the graph brings it back,
// exactly. A read may thus change the representation, though never the state, which is why the
// representation is mutable: a register is used by one thread at a time.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

#include "../clifford/local_clifford.h"
#include "base.h"
#include "graph/dense_adjacency.h"
#include "graph/dense_graph.h"
#include "graph/small_graph.h"
#include "graph/sparse_adjacency.h"
#include "graph/sparse_graph.h"
#include "graph/vop_array.h"
#include "storage_policy.h"
#include "tableau/representation_policy.h"
#include "tableau/stabilizer_tableau.h"

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

  // q's VOP in the graph representation. Like every read of the graph below, it brings a state
  // held as a tableau back to a graph first, which may throw std::bad_alloc.
  Vop vop(Qubit q) const {
    hold_graph();
    return vops_.vop(q);
  }

  // Checks q, then applies `gate` after q's VOP: vop <- product[gate][vop]. The same in either
  // representation.
  void apply_clifford(Qubit q, Vop gate) {
    check_index(q);
    vops_.set_vop(q, clifford::product(gate, vops_.vop(q)));
  }

  // Reading the graph. Indices are not checked.
  std::size_t degree(Qubit q) const;
  bool has_edge(Qubit a, Qubit b) const;
  // q's neighbours in increasing order.
  std::vector<Qubit> neighbors(Qubit q) const;
  // Calls on_neighbor(x) for each neighbour x of q, in no particular order.
  template <class OnNeighbor>
  void for_each_neighbor(Qubit q, OnNeighbor&& on_neighbor) const {
    visit([q, &on_neighbor](const auto& graph) { graph.for_each_neighbor(q, on_neighbor); });
  }
  std::size_t edge_count() const;
  bool is_dense() const {
    hold_graph();
    return std::holds_alternative<DenseAdjacency>(adjacency_);
  }

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

  // The entry point of gates and measurements, which run on either representation: checks each
  // of `operands` in turn, then runs on_tableau(vops, tableau, work) when the state is held as a
  // tableau (setting `work` to the word operations it did) or on_graph(graph) otherwise, and
  // returns what it returns. Then the storage settles and the representation policy may move the
  // state between graph and tableau. When the storage forces the tableau, a graph moves to one
  // first, which throws std::bad_alloc with nothing changed when its memory is refused.
  template <class OnGraph, class OnTableau>
  decltype(auto) change_either(OperationKind kind, std::initializer_list<Qubit> operands,
                               OnGraph&& on_graph, OnTableau&& on_tableau) {
    for (const Qubit q : operands) check_index(q);
    if (!tableau_ && storage_ == Storage::tableau) {
      enter_tableau(MemoryCharge::unconditional(StabilizerTableau::tableau_bytes(size())));
    }
    if (!tableau_) {
      if constexpr (std::is_void_v<decltype(visit(on_graph))>) {
        visit(on_graph);
        settle_graph_after(kind);
      } else {
        decltype(auto) result = visit(on_graph);
        settle_graph_after(kind);
        return result;
      }
    } else {
      std::size_t work = 0;
      if constexpr (std::is_void_v<decltype(on_tableau(vops_, *tableau_, work))>) {
        on_tableau(vops_, *tableau_, work);
        settle_tableau_after(kind, work);
      } else {
        decltype(auto) result = on_tableau(vops_, *tableau_, work);
        settle_tableau_after(kind, work);
        return result;
      }
    }
  }
  bool holds_tableau() const noexcept { return tableau_.has_value(); }

  // change_either's way on a tableau alone, for a gate whose operands the caller has checked:
  // when the state is held as a tableau, runs on_tableau(vops, tableau), which returns its work,
  // settles as change_either does and returns true; returns false, with nothing done, otherwise.
  template <class OnTableau>
  bool change_tableau_if_held(OnTableau&& on_tableau) {
    if (!tableau_) return false;
    settle_tableau_after(OperationKind::gate, on_tableau(vops_, *tableau_));
    return true;
  }

  // Holds the state as `storage` says from now on (for tests and benchmarks, which force a
  // representation midway): a graph in sets or in a matrix, or a tableau. Throws std::bad_alloc
  // with nothing changed.
  void set_storage(Storage storage);

  // Brings a state held as a tableau back to a graph. Throws std::bad_alloc with nothing changed.
  void hold_graph() const {
    if (tableau_) leave_tableau();
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
  // Gives every qubit the VOP `vop`, or qubit q the VOP vops[q]; each must be below 24.
  void set_every_vop(Vop vop) noexcept { vops_.fill(vop); }
  template <class Index>
  void copy_vops(const Index* vops) noexcept {
    vops_.assign(vops);
  }
  bool add_edge_if_absent(Qubit a, Qubit b);

  // Moves the graph to the storage that suits its density, when the storage is automatic and a
  // matrix fits the memory budget. Never fails: a refused allocation keeps the current storage.
  void settle_storage() noexcept {
    if (!thresholds_.storage_may_change(storage_, vops_.size())) return;
    // Most calls find a sparse graph far from dense: that is told without a call.
    const auto* const sparse = std::get_if<SparseAdjacency>(&adjacency_);
    if (sparse != nullptr && 2 * sparse->edge_count() < dense_degree_sum_) return;
    settle_automatic_storage();
  }

  // Runs operation(graph) on a view of the register's graph in its current storage, a
  // SparseGraph, a DenseGraph or (rows of one word) a SmallGraph, and returns what it returns.
  // Through a const register the view only reads. Indices reaching the view are not checked and the
  // storage is not settled: change() and inspect() add both for operations.
  template <class Operation>
  decltype(auto) visit(Operation&& operation) {
    hold_graph();
    if (auto* const dense = std::get_if<DenseAdjacency>(&adjacency_)) {
      if (dense->words() == 1) {
        auto graph = small_view_of(vops_, *dense);
        return operation(graph);
      }
      auto graph = view_of(vops_, *dense);
      return operation(graph);
    }
    auto graph = view_of(vops_, *std::get_if<SparseAdjacency>(&adjacency_));
    return operation(graph);
  }
  template <class Operation>
  decltype(auto) visit(Operation&& operation) const {
    hold_graph();
    if (const auto* const dense = std::get_if<DenseAdjacency>(&adjacency_)) {
      if (dense->words() == 1) {
        const auto graph = small_view_of(vops_, *dense);
        return operation(graph);
      }
      const auto graph = view_of(vops_, *dense);
      return operation(graph);
    }
    const auto graph = view_of(vops_, *std::get_if<SparseAdjacency>(&adjacency_));
    return operation(graph);
  }

 private:
  void settle_automatic_storage() noexcept;
  // After a gate or measurement on the graph, or one that did `work` on the tableau: the storage
  // settles and the representation policy may move the state.
  void settle_graph_after(OperationKind kind) noexcept;
  void settle_tableau_after(OperationKind kind, std::size_t work) noexcept {
    if (storage_ == Storage::automatic && policy_.after_tableau_operation(kind, work)) {
      return_to_graph_by_policy();
    }
  }
  void return_to_graph_by_policy() noexcept;
  // Moves the state to a tableau charged `charge`. Throws std::bad_alloc with nothing changed.
  void enter_tableau(MemoryCharge charge);
  void leave_tableau() const;

  mutable VopArray vops_;
  mutable std::variant<SparseAdjacency, DenseAdjacency> adjacency_;
  // The state when it is held as a tableau: then adjacency_ is empty and the VOPs stand beside it.
  mutable std::optional<StabilizerTableau> tableau_;
  Storage storage_;
  StorageThresholds thresholds_;
  // The degree sum from which a sparse graph is worth a matrix (storage_policy.h).
  std::size_t dense_degree_sum_;
  mutable RepresentationPolicy policy_;
  std::size_t graph_work_seen_ = 0;
};

}  // namespace korvane::engine
