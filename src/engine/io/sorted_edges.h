// The register's edges in a fixed order, whatever the storage: each edge once as (a, b) with
// a < b, sorted by a and then by b. Saved states and exported graphs use this order, so that
// two registers holding the same graph give the same output.
#pragma once

#include <algorithm>
#include <vector>

#include "../register.h"

namespace korvane::engine {

// Calls visit(a, upper) for every qubit a with an edge to a larger index, with `upper` the sorted
// list of those indices. The list is scratch space reused between calls.
template <class Visit>
void for_each_upper_neighborhood(const Register& reg, Visit&& visit) {
  std::vector<Qubit> upper;
  for (Qubit a = 0; a < reg.size(); ++a) {
    if (reg.degree(a) == 0) continue;
    upper.clear();
    reg.for_each_neighbor(a, [&](Qubit b) {
      if (b > a) upper.push_back(b);
    });
    if (upper.empty()) continue;
    std::sort(upper.begin(), upper.end());
    visit(a, static_cast<const std::vector<Qubit>&>(upper));
  }
}

// Calls visit(a, b) for every edge, a < b, in increasing order.
template <class Visit>
void for_each_sorted_edge(const Register& reg, Visit&& visit) {
  for_each_upper_neighborhood(reg, [&](Qubit a, const std::vector<Qubit>& upper) {
    for (const Qubit b : upper) visit(a, b);
  });
}

}  // namespace korvane::engine
