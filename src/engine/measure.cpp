#include "engine/measure.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

namespace korvane::engine {
namespace {

using clifford::Axis;
using clifford::hadamard;
using clifford::minus_sqrt_iy;
using clifford::pauli_x;
using clifford::pauli_z;
using clifford::plus_sqrt_iy;
using clifford::s_dagger;
using clifford::s_gate;

using QubitList = std::vector<Qubit>;

bool contains(const QubitList& list, Qubit q) {
  return std::find(list.begin(), list.end(), q) != list.end();
}

// Compares every entry of q's list with the register size, so that a corrupted list stops the
// measurement before anything has changed.
void check_neighbors(const Register& reg, Qubit q) {
  for (const Qubit x : reg.node(q).neighbors) reg.check_index(x);
}

struct UnorderedPairHash {
  std::size_t operator()(const std::pair<Qubit, Qubit>& pair) const noexcept {
    const std::hash<Qubit> hash;
    return hash(pair.first) ^ (hash(pair.second) * 0x9E3779B97F4A7C15ULL);
  }
};

void apply_x_rule(Register& reg, Qubit a, bool r) {
  const Qubit b = reg.node(a).neighbors.front();

  // The corrections read the lists as they stand before any edge changes.
  if (!r) {
    reg.multiply_right(b, plus_sqrt_iy);
    const QubitList& b_list = reg.node(b).neighbors;
    for (const Qubit x : reg.node(a).neighbors)
      if (x != b && !contains(b_list, x)) reg.multiply_right(x, pauli_z);
  } else {
    reg.multiply_right(b, minus_sqrt_iy);
    reg.multiply_right(a, pauli_z);
    const QubitList& a_list = reg.node(a).neighbors;
    for (const Qubit x : reg.node(b).neighbors)
      if (x != a && !contains(a_list, x)) reg.multiply_right(x, pauli_z);
  }

  const QubitList a_neighbors = reg.node(a).neighbors;
  const QubitList b_neighbors = reg.node(b).neighbors;

  // Each unordered pair is toggled once, although it can arise twice from common neighbours.
  std::unordered_set<std::pair<Qubit, Qubit>, UnorderedPairHash> toggled;
  for (const Qubit x : a_neighbors) {
    for (const Qubit y : b_neighbors) {
      if (x == y) continue;
      const auto pair = std::minmax(x, y);
      if (!toggled.emplace(pair.first, pair.second).second) continue;
      reg.toggle_edge(pair.first, pair.second);
    }
  }

  QubitList common;
  for (const Qubit x : a_neighbors)
    if (contains(b_neighbors, x)) common.push_back(x);
  for (std::size_t i = 0; i < common.size(); ++i)
    for (std::size_t j = i + 1; j < common.size(); ++j) reg.toggle_edge(common[i], common[j]);

  for (const Qubit x : a_neighbors)
    if (x != b) reg.toggle_edge(b, x);
}

void apply_y_rule(Register& reg, Qubit a, bool r) {
  const Vop phase = r ? s_dagger : s_gate;
  const QubitList a_neighbors = reg.node(a).neighbors;
  for (const Qubit x : a_neighbors) reg.multiply_right(x, phase);
  const std::size_t n = a_neighbors.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) reg.toggle_edge(a_neighbors[i], a_neighbors[j]);
    reg.toggle_edge(a_neighbors[i], a);
  }
  reg.multiply_right(a, phase);
}

void apply_z_rule(Register& reg, Qubit a, bool r) {
  const QubitList a_neighbors = reg.node(a).neighbors;
  for (const Qubit x : a_neighbors) {
    reg.remove_edge(a, x);
    if (r) reg.multiply_right(x, pauli_z);
  }
  if (r) reg.multiply_right(a, pauli_x);
  reg.multiply_right(a, hadamard);
}

}  // namespace

bool measure(Register& reg, Qubit q, Axis axis, RandomSource& source) {
  reg.check_index(q);
  const Vop c = clifford::adjoint(reg.node(q).vop);
  const Axis graph_axis = clifford::image_axis(axis, c);
  const bool sign_flip = clifford::image_sign(c, axis);

  const QubitList& neighbors = reg.node(q).neighbors;
  if (graph_axis == Axis::X && neighbors.empty()) return sign_flip;

  check_neighbors(reg, q);
  if (graph_axis == Axis::X) check_neighbors(reg, neighbors.front());

  const bool r = source.next_word() >= (std::uint32_t{1} << 31);
  switch (graph_axis) {
    case Axis::X:
      apply_x_rule(reg, q, r);
      break;
    case Axis::Y:
      apply_y_rule(reg, q, r);
      break;
    case Axis::Z:
      apply_z_rule(reg, q, r);
      break;
  }
  return sign_flip != r;
}

}  // namespace korvane::engine
