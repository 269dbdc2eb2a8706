#include "resparsify.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "korvane/clifford/local_clifford.h"

namespace korvane::bench {
namespace {

std::vector<Qubit> neighbor_list(const Register& reg, Qubit v) {
  std::vector<Qubit> list;
  reg.for_each_neighbor(v, [&list](Qubit x) { list.push_back(x); });
  return list;
}

// Marks the neighbours of one vertex at a time, without clearing between vertices.
class NeighborMarks {
 public:
  explicit NeighborMarks(std::size_t qubits) : stamp_(qubits, 0) {}

  void mark(const std::vector<Qubit>& vertices) {
    ++epoch_;
    for (const Qubit x : vertices) stamp_[x] = epoch_;
  }
  bool marked(Qubit q) const { return stamp_[q] == epoch_; }

 private:
  std::vector<std::uint32_t> stamp_;
  std::uint32_t epoch_ = 0;
};

// The classes of a pivot about the edge a-b: vertices next to a only, to b only, or to both.
class PivotClasses {
 public:
  static constexpr std::uint8_t a_only = 1;
  static constexpr std::uint8_t b_only = 2;
  static constexpr std::uint8_t both = 3;

  explicit PivotClasses(std::size_t qubits) : stamp_(qubits, 0), class_(qubits, 0) {}

  void classify(const Register& reg, Qubit a, Qubit b) {
    ++epoch_;
    reg.for_each_neighbor(a, [&](Qubit x) { set(x, a_only); });
    reg.for_each_neighbor(b, [&](Qubit y) { set(y, b_only); });
    // a and b change places rather than being toggled.
    stamp_[a] = 0;
    stamp_[b] = 0;
  }
  std::uint8_t of(Qubit q) const { return stamp_[q] == epoch_ ? class_[q] : 0; }

 private:
  void set(Qubit q, std::uint8_t bit) {
    if (stamp_[q] != epoch_) {
      stamp_[q] = epoch_;
      class_[q] = 0;
    }
    class_[q] |= bit;
  }

  std::vector<std::uint32_t> stamp_;
  std::vector<std::uint8_t> class_;
  std::uint32_t epoch_ = 0;
};

// Edges a pivot about the edge a-b would remove (negative: add). The pivot toggles every pair
// from two different classes.
std::ptrdiff_t pivot_gain(const Register& reg, Qubit a, Qubit b, PivotClasses& classes) {
  classes.classify(reg, a, b);
  std::array<std::ptrdiff_t, 4> sizes{};
  std::ptrdiff_t joined_twice = 0;
  auto count_from = [&](Qubit x) {
    const std::uint8_t own = classes.of(x);
    if (own == 0) return;
    ++sizes[own];
    reg.for_each_neighbor(x, [&](Qubit w) {
      const std::uint8_t other = classes.of(w);
      joined_twice += (other != 0 && other != own) ? 1 : 0;
    });
  };
  reg.for_each_neighbor(a, count_from);
  reg.for_each_neighbor(b, [&](Qubit y) {
    if (classes.of(y) == PivotClasses::b_only) count_from(y);
  });
  const std::ptrdiff_t pairs = sizes[1] * sizes[2] + sizes[1] * sizes[3] + sizes[2] * sizes[3];
  return joined_twice - pairs;
}

// Edges a complementation about v would remove (negative: add): the joined pairs of v's
// neighbours minus the unjoined ones.
std::ptrdiff_t complementation_gain(const Register& reg, const std::vector<Qubit>& neighbors,
                                    NeighborMarks& marks) {
  const auto degree = static_cast<std::ptrdiff_t>(neighbors.size());
  marks.mark(neighbors);
  std::ptrdiff_t joined_twice = 0;  // each joined pair is seen from both ends
  for (const Qubit u : neighbors) {
    reg.for_each_neighbor(u, [&](Qubit w) { joined_twice += marks.marked(w) ? 1 : 0; });
  }
  const std::ptrdiff_t pairs = degree * (degree - 1) / 2;
  return joined_twice - pairs;
}

// Neighbours of a vertex tried as pivot partners when no complementation about it gains.
constexpr std::size_t pivot_candidates = 8;

}  // namespace

void complement_about(Register& reg, Qubit v) {
  const std::vector<Qubit> neighbors = neighbor_list(reg, v);
  for (std::size_t i = 0; i < neighbors.size(); ++i)
    for (std::size_t j = i + 1; j < neighbors.size(); ++j)
      reg.toggle_edge(neighbors[i], neighbors[j]);
  // The same VOP factors as the engine's own complementation (S on each neighbour, sqrt(iX) on v).
  for (const Qubit x : neighbors) reg.set_vop(x, clifford::product(reg.vop(x), clifford::s_gate));
  reg.set_vop(v, clifford::product(reg.vop(v), clifford::plus_sqrt_ix));
}

ResparsifyFigures resparsify_around(Register& reg, std::span<const Qubit> seeds) {
  ResparsifyFigures figures;
  figures.edges_before = reg.edge_count();
  NeighborMarks marks(reg.size());
  PivotClasses classes(reg.size());
  // Vertices whose neighbourhood may have changed since they were last examined, in order.
  std::deque<Qubit> pending;
  std::vector<bool> is_pending(reg.size(), false);
  auto revisit = [&](Qubit q) {
    if (!is_pending[q]) {
      is_pending[q] = true;
      pending.push_back(q);
    }
  };
  for (const Qubit v : seeds)
    if (reg.degree(v) >= 2) revisit(v);
  // Every move removes edges, so the search ends.
  while (!pending.empty()) {
    const Qubit v = pending.front();
    pending.pop_front();
    is_pending[v] = false;
    ++figures.examined;
    if (reg.degree(v) < 2) continue;
    const std::vector<Qubit> neighbors = neighbor_list(reg, v);
    if (complementation_gain(reg, neighbors, marks) > 0) {
      complement_about(reg, v);
      ++figures.complementations;
      revisit(v);
      for (const Qubit x : neighbors) revisit(x);
      continue;
    }
    // A pivot about an edge is three complementations (about a, b, a) and toggles the pairs
    // between the classes; it thins out what single complementations cannot, such as the
    // complete bipartite graphs that twins form.
    std::ptrdiff_t best_gain = 0;
    Qubit best = v;
    const std::size_t tried = std::min(neighbors.size(), pivot_candidates);
    for (std::size_t i = 0; i < tried; ++i) {
      const std::ptrdiff_t gain = pivot_gain(reg, v, neighbors[i], classes);
      if (gain > best_gain) {
        best_gain = gain;
        best = neighbors[i];
      }
    }
    if (best == v) continue;
    complement_about(reg, v);
    complement_about(reg, best);
    complement_about(reg, v);
    ++figures.pivots;
    for (const Qubit q : {v, best}) {
      revisit(q);
      reg.for_each_neighbor(q, revisit);
    }
  }
  figures.edges_after = reg.edge_count();
  return figures;
}

ResparsifyFigures resparsify(Register& reg) {
  std::vector<Qubit> everyone(reg.size());
  for (Qubit v = 0; v < reg.size(); ++v) everyone[v] = v;
  return resparsify_around(reg, everyone);
}

}  // namespace korvane::bench
