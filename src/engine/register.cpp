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

// Deletes the entry equal to q, if any, keeping the order of the rest. A list holds no repeats,
// so the scan stops at the first match.
void erase_entry(std::vector<Qubit>& list, Qubit q) {
  const auto found = std::find(list.begin(), list.end(), q);
  if (found != list.end()) list.erase(found);
}

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
  erase_entry(nodes_[a].neighbors, b);
  erase_entry(nodes_[b].neighbors, a);
}

void Register::toggle_edge(Qubit a, Qubit b) {
  auto& list_a = nodes_[a].neighbors;
  const auto found = std::find(list_a.begin(), list_a.end(), b);
  // The lists agree with each other, so when a's list lacks b, b's list lacks a: no scan needed.
  if (found == list_a.end()) {
    add_edge(a, b);
    return;
  }
  list_a.erase(found);
  erase_entry(nodes_[b].neighbors, a);
}

bool Register::has_other_neighbor(Qubit v, Qubit w) const {
  const auto& list = nodes_[v].neighbors;
  return std::any_of(list.begin(), list.end(), [w](Qubit x) { return x != w; });
}

}  // namespace korvane::engine
