#include "engine/register.h"

#include <algorithm>
#include <limits>

#include "engine/fault.h"

namespace korvane::engine {
namespace {

constexpr std::size_t first_list_capacity = 4;

std::vector<Node> fresh_nodes(std::size_t qubit_amount) {
  constexpr auto largest_object =
      static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
  if (qubit_amount > largest_object / sizeof(Node)) throw Fault("capacity overflow");
  return std::vector<Node>(qubit_amount);
}

// Makes room for one more entry: storage for 4 entries on the first append, doubling when full.
void reserve_one_more(std::vector<Qubit>& list) {
  if (list.size() < list.capacity()) return;
  list.reserve(list.empty() ? first_list_capacity : 2 * list.capacity());
}

// Deletes every entry equal to q, keeping the order of the rest; returns how many were deleted.
std::size_t erase_all(std::vector<Qubit>& list, Qubit q) { return std::erase(list, q); }

}  // namespace

Register::Register(std::size_t qubit_amount) : nodes_(fresh_nodes(qubit_amount)) {}

bool Register::has_edge(Qubit a, Qubit b) const {
  const auto& list = nodes_[a].neighbors;
  return std::find(list.begin(), list.end(), b) != list.end();
}

void Register::add_edge(Qubit a, Qubit b) {
  auto& list_a = nodes_[a].neighbors;
  auto& list_b = nodes_[b].neighbors;
  // Both lists get their room first, so a refused allocation leaves the edge wholly absent.
  reserve_one_more(list_a);
  reserve_one_more(list_b);
  list_a.push_back(b);
  list_b.push_back(a);
}

void Register::remove_edge(Qubit a, Qubit b) {
  erase_all(nodes_[a].neighbors, b);
  erase_all(nodes_[b].neighbors, a);
}

void Register::toggle_edge(Qubit a, Qubit b) {
  const std::size_t deleted = erase_all(nodes_[a].neighbors, b);
  erase_all(nodes_[b].neighbors, a);
  if (deleted == 0) add_edge(a, b);
}

bool Register::has_other_neighbor(Qubit v, Qubit w) const {
  const auto& list = nodes_[v].neighbors;
  return std::any_of(list.begin(), list.end(), [w](Qubit x) { return x != w; });
}

}  // namespace korvane::engine
