// The graph-state register: N qubits, each a vertex of an undirected simple graph with a VOP
// (one of the 24 local Cliffords). The state it stands for: every qubit in |+>, a controlled-Z
// along every edge, then each VOP.
//
// Many graphs with VOPs stand for one state; the operations keep whichever of them is cheapest to
// work on, so the graph is a representation and never itself observable. Adjacency has two
// storages, chosen by the graph's density:
//  - sparse: a NeighborSet per vertex (a short array, or a hash table for a hub), so a graph of
//    10^7 qubits costs a few words per qubit plus its edges;
//  - dense: a bit matrix of N rows, for small registers and for graphs with many edges per
//    vertex, where complementing a neighbourhood becomes a handful of word-wide XORs per row.
// The register moves between them after an operation, by the number of edges, unless a storage
// was fixed at construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clifford/local_clifford.h"
#include "engine/bit_row.h"
#include "engine/fault.h"
#include "engine/large_array.h"
#include "engine/neighbor_set.h"
#include "engine/set_table.h"

namespace korvane::engine {

using clifford::Vop;

enum class Storage : std::uint8_t {
  automatic,  // chosen by size and density, and changed as the graph changes
  sparse,     // always a set per vertex
  dense,      // always a bit matrix (for tests and small registers)
};

class Register {
 public:
  // A register of `qubit_amount` fresh qubits in |0...0>: no edges, every VOP the Hadamard.
  // Throws Fault("capacity overflow") when the register could not be addressed and
  // std::bad_alloc when its memory is refused.
  explicit Register(std::size_t qubit_amount, Storage storage = Storage::automatic);

  std::size_t size() const noexcept { return vops_.size(); }

  // Throws the index fault when q is not a qubit of this register.
  void check_index(Qubit q) const {
    if (q >= vops_.size()) throw_index_fault(vops_.size(), q);
  }

  Vop vop(Qubit q) const noexcept { return vops_[q]; }

  // Checks q, then applies `gate` after q's VOP: vop <- product[gate][vop].
  void apply_clifford(Qubit q, Vop gate) {
    check_index(q);
    Vop& current = vops_[q];
    current = clifford::product(gate, current);
  }

  // Reading the graph. Indices are not checked.
  std::size_t degree(Qubit q) const noexcept;
  bool has_edge(Qubit a, Qubit b) const noexcept;
  // q's neighbours in increasing order.
  std::vector<Qubit> neighbors(Qubit q) const;
  // Visits q's neighbours in no particular order.
  template <class Visit>
  void for_each_neighbor(Qubit q, Visit&& visit) const {
    if (dense_) {
      for_each_bit(rows_.data() + q * words_per_row_, words_per_row_, visit);
    } else {
      sets_.get(q).for_each(visit);
    }
  }
  std::size_t edge_count() const noexcept;
  bool is_dense() const noexcept { return dense_; }

  // Building a register directly: both check their indices (and a != b) before any change.
  // These change the represented state; they are for tests and for preparing known graph states.
  void set_vop(Qubit q, Vop vop);
  void toggle_edge(Qubit a, Qubit b);
  // Adds the edge a-b unless it is there, and says whether it did. For building a register from
  // data whose indices were checked (a != b, both below size): it skips toggle_edge's checks and
  // second lookup. A refused allocation throws std::bad_alloc with the edge absent.
  bool add_edge_if_absent(Qubit a, Qubit b);

  // Moves the graph to the storage that suits its density, when the storage is automatic. Never
  // fails: a refused allocation keeps the current storage.
  void settle_storage() noexcept {
    if (storage_ == Storage::automatic && vops_.size() > always_dense_qubits &&
        vops_.size() <= largest_dense_qubits) {
      settle_automatic_storage();
    }
  }

  // Up to 64 qubits a row is one word: dense storage is then smaller and faster than sets.
  static constexpr std::size_t always_dense_qubits = 64;
  // Beyond this the matrix (N^2 / 8 bytes, 128 MiB here) is not worth its memory.
  static constexpr std::size_t largest_dense_qubits = 32768;

 private:
  friend struct SparseRegisterStore;
  friend struct DenseRegisterStore;
  friend struct RegisterReader;

  void settle_automatic_storage() noexcept;
  void make_dense();
  void make_sparse();
  std::size_t count_dense_edges() const noexcept;

  std::vector<Vop, LargeArrayAllocator<Vop>> vops_;
  // Sparse storage: one set per qubit; empty while dense.
  SetTable sets_;
  // Dense storage: row q is words [q * words_per_row_, (q + 1) * words_per_row_); bit b of row
  // a is the edge a-b. Empty while sparse.
  std::vector<Word, LargeArrayAllocator<Word>> rows_;
  std::vector<std::uint64_t> scratch_;  // two rows of working space for dense operations
  std::size_t words_per_row_ = 0;
  // The edge count, exact unless dense bulk changes made it unknown; bulk_words_ is the work
  // those changes did since it was last known, so that recounting stays a fraction of it.
  std::size_t edges_ = 0;
  bool edges_known_ = true;
  std::size_t bulk_words_ = 0;
  Storage storage_;
  bool dense_ = false;
};

}  // namespace korvane::engine
