// Graph changes written as toggles of single pairs, which every storage can run and which cost
// exactly the number of pairs toggled; the storages use them where few pairs change. Among them
// the pivot of an X measurement, with the classes of vertices it works on.
#pragma once

#include <cstddef>

#include "../base.h"
#include "../containers/qubit_buffer.h"

namespace korvane::engine {

// The neighbourhoods around an X measurement of a with special neighbour b, split into classes
// (taken before any change): common = N(a) and N(b); a_only = N(a) without N(b) and without b;
// b_only = N(b) without N(a), which holds a itself.
struct PivotClasses {
  QubitBuffer common;
  QubitBuffer a_only;
  QubitBuffer b_only;

  // Pairs the X measurement toggles: every pair drawn from two different classes of common,
  // a_only, {b}, b_only, except those between common and b.
  std::size_t toggled_pairs() const {
    return common.size() * (a_only.size() + b_only.size()) + a_only.size() * b_only.size() +
           a_only.size() + b_only.size();
  }
};

template <class Graph>
void classify_pivot(const Graph& graph, Qubit a, Qubit b, PivotClasses& classes) {
  graph.for_each_neighbor(a, [&](Qubit x) {
    if (x == b) return;
    if (graph.has_edge(b, x)) {
      classes.common.push_back(x);
    } else {
      classes.a_only.push_back(x);
    }
  });
  graph.for_each_neighbor(b, [&](Qubit y) {
    if (y == a || !graph.has_edge(a, y)) classes.b_only.push_back(y);
  });
}

template <class Graph>
void toggle_between(Graph& graph, const QubitBuffer& first, const QubitBuffer& second) {
  // Most pivots about vertices of low degree leave one side empty: then nothing is called.
  if (second.size() == 0) return;
  for (const Qubit x : first)
    for (const Qubit y : second) graph.toggle_edge(x, y);
}

template <class Graph>
void toggle_star(Graph& graph, Qubit center, const QubitBuffer& others) {
  for (const Qubit x : others) graph.toggle_edge(center, x);
}

// The edge changes of an X measurement, one toggle per pair.
template <class Graph>
void pivot_by_pairs(Graph& graph, Qubit b, const PivotClasses& classes) {
  toggle_between(graph, classes.common, classes.a_only);
  toggle_between(graph, classes.common, classes.b_only);
  toggle_between(graph, classes.a_only, classes.b_only);
  toggle_star(graph, b, classes.a_only);
  toggle_star(graph, b, classes.b_only);
}

// Toggles x-y for every x in N(a) and y in N(b), x != y, counted with multiplicity: a pair of
// common neighbours arises twice and stays.
template <class Graph>
void toggle_across_by_pairs(Graph& graph, Qubit a, Qubit b) {
  QubitBuffer neighbors_a;
  QubitBuffer neighbors_b;
  graph.neighbors_into(a, neighbors_a);
  graph.neighbors_into(b, neighbors_b);
  for (const Qubit x : neighbors_a)
    for (const Qubit y : neighbors_b)
      if (x != y) graph.toggle_edge(x, y);
}

// Toggles every pair among the entries of `list`.
template <class Graph>
void complement_by_pairs(Graph& graph, const QubitBuffer& list) {
  for (std::size_t i = 0; i < list.size(); ++i)
    for (std::size_t j = i + 1; j < list.size(); ++j) graph.toggle_edge(list[i], list[j]);
}

}  // namespace korvane::engine
