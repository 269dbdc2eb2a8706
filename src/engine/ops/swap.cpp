#include "swap.h"

#include <vector>

namespace korvane::engine {
namespace {

// The neighbours of `from` other than `other` that `other` lacks.
std::vector<Qubit> neighbors_only_of(const Register& reg, Qubit from, Qubit other) {
  std::vector<Qubit> only;
  reg.for_each_neighbor(from, [&](Qubit w) {
    if (w != other && !reg.has_edge(other, w)) only.push_back(w);
  });
  return only;
}

}  // namespace

void swap(Register& reg, Qubit a, Qubit b) {
  reg.check_index(a);
  reg.check_index(b);
  if (a == b) return;
  // A qubit joined to both keeps both edges; one joined to just one moves to the other.
  const std::vector<Qubit> only_a = neighbors_only_of(reg, a, b);
  const std::vector<Qubit> only_b = neighbors_only_of(reg, b, a);
  for (const Qubit w : only_a) {
    reg.toggle_edge(a, w);
    reg.toggle_edge(b, w);
  }
  for (const Qubit w : only_b) {
    reg.toggle_edge(b, w);
    reg.toggle_edge(a, w);
  }
  const Vop vop_a = reg.vop(a);
  reg.set_vop(a, reg.vop(b));
  reg.set_vop(b, vop_a);
}

}  // namespace korvane::engine
