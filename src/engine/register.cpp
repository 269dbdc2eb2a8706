#include "engine/register.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "engine/register_graph.h"

namespace korvane::engine {
namespace {

constexpr std::size_t largest_object =
    static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());

std::size_t words_per_row(std::size_t qubit_amount) { return (qubit_amount + 63) / 64; }

// Mean degree at which the automatic storage turns dense: there, complementing a neighbourhood
// of d vertices costs d row XORs of N/64 words instead of d^2/2 toggles, and the matrix costs no
// more than about twice the sets it replaces.
std::size_t dense_mean_degree(std::size_t qubit_amount) {
  return std::max<std::size_t>(1, qubit_amount / 1024);
}

}  // namespace

Register::Register(std::size_t qubit_amount, Storage storage) : storage_(storage) {
  if (qubit_amount > largest_object / sizeof(NeighborSet)) throw Fault("capacity overflow");
  const bool dense =
      storage == Storage::dense ||
      (storage == Storage::automatic && qubit_amount > 0 && qubit_amount <= always_dense_qubits);
  if (dense && qubit_amount > 0 &&
      words_per_row(qubit_amount) > largest_object / sizeof(Word) / qubit_amount) {
    throw Fault("capacity overflow");
  }
  vops_.assign(qubit_amount, clifford::hadamard);
  if (dense) {
    make_dense();
  } else {
    sets_ = SetTable(qubit_amount);
  }
}

std::size_t Register::degree(Qubit q) const noexcept {
  return dense_ ? count_row(rows_.data() + q * words_per_row_, words_per_row_)
                : sets_.get(q).size();
}

std::size_t Register::edge_count() const noexcept {
  return edges_known_ ? edges_ : count_dense_edges();
}

std::size_t Register::count_dense_edges() const noexcept {
  return count_row(rows_.data(), rows_.size()) / 2;
}

bool Register::has_edge(Qubit a, Qubit b) const noexcept {
  if (dense_) return test_bit(rows_.data() + a * words_per_row_, b);
  return sets_.get(a).contains(b);
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
  vops_[q] = vop;
}

void Register::toggle_edge(Qubit a, Qubit b) {
  check_index(a);
  check_index(b);
  if (a == b) throw Fault("an edge joins two different qubits");
  visit_graph(*this, [a, b](auto& graph) { graph.toggle_edge(a, b); });
}

bool Register::add_edge_if_absent(Qubit a, Qubit b) {
  if (dense_) {
    Word* const row_a = rows_.data() + a * words_per_row_;
    if (test_bit(row_a, b)) return false;
    flip_bit(row_a, b);
    flip_bit(rows_.data() + b * words_per_row_, a);
  } else {
    NeighborSet& set_a = sets_.get_mutable(a);
    if (set_a.contains(b)) return false;
    NeighborSet& set_b = sets_.get_mutable(b);
    set_a.reserve_one_more(vops_.size());
    set_b.reserve_one_more(vops_.size());
    set_a.insert_reserved(b);
    set_b.insert_reserved(a);
  }
  ++edges_;
  return true;
}

void Register::make_dense() {
  const std::size_t qubits = vops_.size();
  const std::size_t words = words_per_row(qubits);
  decltype(rows_) rows(qubits * words);
  std::vector<Word> scratch(2 * words);
  sets_.for_each_nonempty([&](Qubit q, const NeighborSet& set) {
    Word* const row = rows.data() + q * words;
    set.for_each([row](Qubit x) { flip_bit(row, x); });
  });
  rows_ = std::move(rows);
  scratch_ = std::move(scratch);
  words_per_row_ = words;
  sets_ = SetTable();
  dense_ = true;
}

void Register::make_sparse() {
  const std::size_t qubits = vops_.size();
  SetTable sets(qubits);
  for (std::size_t q = 0; q < qubits; ++q) {
    const Word* const row = rows_.data() + q * words_per_row_;
    if (count_row(row, words_per_row_) == 0) continue;
    NeighborSet& set = sets.get_mutable(q);
    for_each_bit(row, words_per_row_, [&](Qubit x) {
      set.reserve_one_more(qubits);
      set.insert_reserved(x);
    });
  }
  sets_ = std::move(sets);
  decltype(rows_)().swap(rows_);
  std::vector<Word>().swap(scratch_);
  words_per_row_ = 0;
  dense_ = false;
}

void Register::settle_automatic_storage() noexcept {
  const std::size_t qubits = vops_.size();
  if (!edges_known_) {
    // Recounting reads the whole matrix: done once the bulk changes since the last count have
    // done several times that work, it adds a fraction to their cost.
    if (bulk_words_ < 4 * rows_.size()) return;
    edges_ = count_dense_edges();
    edges_known_ = true;
    bulk_words_ = 0;
  }
  const std::size_t threshold = qubits * dense_mean_degree(qubits);
  try {
    if (!dense_ && 2 * edges_ >= threshold) {
      make_dense();
    } else if (dense_ && 8 * edges_ < threshold) {
      make_sparse();
    }
  } catch (...) {
    // Either storage is correct; a refused allocation only keeps the current one.
  }
}

}  // namespace korvane::engine
