// The graph view over sparse adjacency: one NeighborSet per vertex. Changes of few pairs toggle
// one edge in two sets at a time, each O(1); changes of many pairs among vertices of high degree
// go side by side (side_toggles.h), where sets kept as bit rows change by row XORs.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

#include "../base.h"
#include "../containers/neighbor_set.h"
#include "../containers/qubit_buffer.h"
#include "graph_view.h"
#include "pair_toggles.h"
#include "side_toggles.h"

namespace korvane::engine {

// Sparse adjacency as a view reads it; one that changes it also offers mutable_set(q), whose
// references stay valid while other sets change, memory() for the sets' changes, and
// count_edges(change).
template <class Store>
concept SetStore = requires(const Store& store, Qubit q) {
  { store.set(q) } -> std::same_as<const NeighborSet&>;
};

template <VopStore Vops, SetStore Sets>
class SparseGraph : public VopAccess<Vops> {
 public:
  SparseGraph(Vops& vops, Sets& sets) : VopAccess<Vops>(vops), sets_(sets) {}

  Sets& adjacency() const { return sets_; }

  std::size_t degree(Qubit q) const { return sets_.set(q).size(); }
  bool has_neighbor(Qubit q) const { return !sets_.set(q).empty(); }
  bool has_neighbor_other_than(Qubit v, Qubit w) const {
    return sets_.set(v).has_entry_other_than(w);
  }

  bool has_edge(Qubit a, Qubit b) const {
    const NeighborSet& set_a = sets_.set(a);
    // A set kept in its object answers without b's set being looked up.
    if (set_a.form() == NeighborSet::Form::in_object) return set_a.contains(b);
    return joined(set_a, b, sets_.set(b), a);
  }

  void toggle_edge(Qubit a, Qubit b) {
    NeighborSet& set_a = sets_.mutable_set(a);
    NeighborSet& set_b = sets_.mutable_set(b);
    if (!set_a.has_room_in_object() || !set_b.has_room_in_object() ||
        sets_.memory().universe > NeighborSet::narrow_universe) {
      toggle_edge_changing_storage(set_a, b, set_b, a);
      return;
    }
    // Both kept in their objects with room to spare, the common case of sparse graphs: no
    // storage changes either way.
    if (set_a.contains(b)) {
      set_a.erase_from_object(b);
      set_b.erase_from_object(a);
      sets_.count_edges(-1);
    } else {
      set_a.insert_into_object_room(b);
      set_b.insert_into_object_room(a);
      sets_.count_edges(1);
    }
  }

  // Adds the edge a-b, which must be absent.
  void add_edge(Qubit a, Qubit b) {
    insert_pair(sets_.mutable_set(a), b, sets_.mutable_set(b), a, sets_.memory());
  }

  // Adds the edge a-b unless it is there, and says whether it did: one lookup of each set.
  bool add_edge_if_absent(Qubit a, Qubit b) {
    NeighborSet& set_a = sets_.mutable_set(a);
    NeighborSet& set_b = sets_.mutable_set(b);
    const SetMemory memory = sets_.memory();
    if (set_a.has_room_in_object() && set_b.has_room_in_object() &&
        memory.universe <= NeighborSet::narrow_universe) {
      // The common case of sparse graphs, without a change of storage.
      if (set_a.contains(b)) return false;
      set_a.insert_into_object_room(b);
      set_b.insert_into_object_room(a);
      sets_.count_edges(1);
      return true;
    }
    if (joined(set_a, b, set_b, a)) return false;
    insert_pair(set_a, b, set_b, a, memory);
    return true;
  }

  // `visit` must not change q's own set.
  template <class Visit>
  void for_each_neighbor(Qubit q, Visit&& visit) const {
    sets_.set(q).for_each(visit);
  }

  // Visits q's neighbours while `visit` returns true.
  template <class Visit>
  void for_each_neighbor_while(Qubit q, Visit&& visit) const {
    sets_.set(q).for_each_while(visit);
  }

  void neighbors_into(Qubit q, QubitBuffer& list) const {
    sets_.set(q).for_each([&list](Qubit x) { list.push_back(x); });
  }

  void complement_neighborhood(Qubit v) {
    QubitBuffer neighbors;
    neighbors_into(v, neighbors);
    if (!goes_side_by_side(neighbors.size(), neighbors.size() * neighbors.size() / 2)) {
      complement_by_pairs(*this, neighbors);
      return;
    }
    const SideGroup group{{&neighbors}, no_qubit, {&neighbors}};
    toggle_sides(sets_, std::span(&group, 1));
  }

  void isolate(Qubit v) {
    if (sets_.set(v).empty()) return;
    NeighborSet& neighbors = sets_.mutable_set(v);
    const std::size_t removed = neighbors.size();
    const SetMemory memory = sets_.memory();
    neighbors.for_each([&](Qubit x) { sets_.mutable_set(x).erase(v, memory); });
    neighbors.clear(memory);
    sets_.count_edges(-static_cast<std::ptrdiff_t>(removed));
  }

  void toggle_edges_to_neighbors(Qubit a, Qubit b, bool also_b) {
    // b's set is read in place: the toggles touch a and c, never b.
    sets_.set(b).for_each([&](Qubit c) {
      if (c != a) toggle_edge(a, c);
    });
    if (also_b) toggle_edge(a, b);
  }

  void toggle_across_neighborhoods(Qubit a, Qubit b) {
    const std::size_t degree_a = degree(a);
    const std::size_t degree_b = degree(b);
    if (!goes_side_by_side(degree_a + degree_b, degree_a * degree_b)) {
      toggle_across_by_pairs(*this, a, b);
      return;
    }
    // N(a) only gains N(b), N(b) only gains N(a), and the common neighbours gain both.
    QubitBuffer neighbors_a;
    QubitBuffer neighbors_b;
    neighbors_into(a, neighbors_a);
    neighbors_into(b, neighbors_b);
    QubitBuffer a_only;
    QubitBuffer b_only;
    QubitBuffer common;
    for (const Qubit x : neighbors_a) (has_edge(b, x) ? common : a_only).push_back(x);
    for (const Qubit y : neighbors_b)
      if (!has_edge(a, y)) b_only.push_back(y);
    const std::array<SideGroup, 3> groups{
        SideGroup{{&a_only}, no_qubit, {&neighbors_b}},
        SideGroup{{&b_only}, no_qubit, {&neighbors_a}},
        SideGroup{{&common}, no_qubit, {&neighbors_a, &neighbors_b}}};
    toggle_sides(sets_, std::span(groups));
  }

  void pivot_edges(Qubit /*a*/, Qubit b, const PivotClasses& classes) {
    const std::size_t vertices =
        classes.common.size() + classes.a_only.size() + classes.b_only.size() + 1;
    if (!goes_side_by_side(vertices, classes.toggled_pairs())) {
      pivot_by_pairs(*this, b, classes);
      return;
    }
    // Each class gains the classes it is paired with: the common class and b gain a_only and
    // b_only, a_only gains common, b_only and b, b_only gains common, a_only and b.
    const std::array<SideGroup, 3> groups{
        SideGroup{{&classes.common}, b, {&classes.a_only, &classes.b_only}},
        SideGroup{{&classes.a_only}, no_qubit, {&classes.common, &classes.b_only}, b},
        SideGroup{{&classes.b_only}, no_qubit, {&classes.common, &classes.a_only}, b}};
    toggle_sides(sets_, std::span(groups));
  }

  // Pivots of few vertices go by pivot_by_pairs (see goes_side_by_side).
  static constexpr bool pivots_few_by_pairs = true;

  // One toggle per pair: a unit of cost is half a toggle.
  static std::size_t complement_cost(std::size_t degree) { return degree * degree; }
  static std::size_t pivot_cost(std::size_t degree_a, std::size_t degree_b) {
    return 2 * degree_a * degree_b;
  }

 private:
  // Whether a's set `set_a` holds b, looked up in whichever set is cheaper to search: one kept
  // in its object costs four comparisons, others the smaller.
  static bool joined(const NeighborSet& set_a, Qubit b, const NeighborSet& set_b, Qubit a) {
    if (set_a.form() == NeighborSet::Form::in_object) return set_a.contains(b);
    if (set_b.form() == NeighborSet::Form::in_object) return set_b.contains(a);
    return set_a.size() <= set_b.size() ? set_a.contains(b) : set_b.contains(a);
  }

  // Out of line, so that the common case above stays small where it is inlined.
  [[gnu::noinline]] void toggle_edge_changing_storage(NeighborSet& set_a, Qubit b,
                                                      NeighborSet& set_b, Qubit a) {
    const SetMemory memory = sets_.memory();
    if (joined(set_a, b, set_b, a)) {
      set_a.erase(b, memory);
      set_b.erase(a, memory);
      sets_.count_edges(-1);
      return;
    }
    insert_pair(set_a, b, set_b, a, memory);
  }

  void insert_pair(NeighborSet& set_a, Qubit b, NeighborSet& set_b, Qubit a,
                   const SetMemory& memory) {
    // Room in both sets first, so a refused allocation leaves the edge wholly absent.
    set_a.reserve_one_more(memory);
    set_b.reserve_one_more(memory);
    set_a.insert_reserved(b);
    set_b.insert_reserved(a);
    sets_.count_edges(1);
  }

  // Side by side pays once the change is large and its vertices are of a degree where sets are
  // bit rows (neighbor_set.h).
  static constexpr std::size_t least_pairs_side_by_side = 512;
  bool goes_side_by_side(std::size_t vertices, std::size_t pairs) const {
    return pairs >= least_pairs_side_by_side &&
           vertices * NeighborSet::row_bits_per_entry_to_grow >= this->size();
  }

  Sets& sets_;
};

template <VopStore Vops, SetStore Sets>
SparseGraph<Vops, Sets> view_of(Vops& vops, Sets& sets) {
  return {vops, sets};
}

}  // namespace korvane::engine
