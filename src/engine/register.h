// The graph-state register: N qubits, each a vertex with an ordered adjacency list and a VOP.
// The state it stands for: every qubit in |+>, a controlled-Z along every edge, then each VOP.
//
// Adjacency lists are never sorted: a new edge is appended at the end of both lists (first
// operand's list first) and a deleted entry leaves without reordering the rest. That order
// decides which neighbour later reductions and X measurements pick, so it is kept exactly.
#pragma once

#include <cstddef>
#include <vector>

#include "clifford/local_clifford.h"
#include "engine/fault.h"

namespace korvane::engine {

using Qubit = std::size_t;
using clifford::Vop;

struct Node {
  std::vector<Qubit> neighbors;
  Vop vop = clifford::hadamard;  // a fresh qubit: H|+> = |0>
};

class Register {
 public:
  // A register of `qubit_amount` fresh qubits in |0...0>, made in one allocation; fresh nodes own
  // no list storage. Throws Fault("capacity overflow") when the array could not be addressed and
  // std::bad_alloc when its memory is refused.
  explicit Register(std::size_t qubit_amount);

  std::size_t size() const { return nodes_.size(); }

  // Throws the index fault when q is not a qubit of this register.
  void check_index(Qubit q) const {
    if (q >= nodes_.size()) throw_index_fault(nodes_.size(), q);
  }

  // Unchecked access, for indices already checked or read from adjacency lists.
  Node& node(Qubit q) { return nodes_[q]; }
  const Node& node(Qubit q) const { return nodes_[q]; }
  const std::vector<Node>& nodes() const { return nodes_; }

  // Checks q, then applies `gate` after q's VOP: vop <- product[gate][vop].
  void apply_clifford(Qubit q, Vop gate) {
    check_index(q);
    Vop& vop = nodes_[q].vop;
    vop = clifford::product(gate, vop);
  }

  // Right factor: vop <- product[vop][factor] (the factor acts first). Unchecked.
  void multiply_right(Qubit q, Vop factor) {
    Vop& vop = nodes_[q].vop;
    vop = clifford::product(vop, factor);
  }

  // Whether b is listed in a's list (only a's list is read).
  bool has_edge(Qubit a, Qubit b) const;
  // Appends b to a's list, then a to b's list. Only for an edge known to be absent.
  void add_edge(Qubit a, Qubit b);
  // Deletes every b from a's list and every a from b's list, keeping the order of the rest.
  void remove_edge(Qubit a, Qubit b);
  // Removes the edge when a's list holds b, else adds it (the decision rests on a's list).
  void toggle_edge(Qubit a, Qubit b);
  // Whether v's list holds an entry other than w.
  bool has_other_neighbor(Qubit v, Qubit w) const;

 private:
  std::vector<Node> nodes_;
};

}  // namespace korvane::engine
