// The cluster state of a lattice: a qubit per site, every qubit in |+>, a controlled-Z between
// every two neighbouring sites, every VOP the identity. Sites are numbered in row-major order (the
// last axis varies fastest), so site (i, j) of an R x C lattice is qubit i C + j. Along a periodic
// axis the last site is also the neighbour of the first, where the axis has at least three sites
// (with fewer they are neighbours already, or the same site).
//
// The builder writes each qubit's neighbour set once, in index order, without a search: a lattice
// of 10^9 qubits costs what its sets take, and is built in steps so that a caller can stop
// between them.
#pragma once

#include <cstddef>
#include <vector>

#include "../register.h"

namespace korvane::engine {

class ClusterBuilder {
 public:
  // A lattice of sides[k] sites along axis k (at least one axis), periodic along axis k when
  // periodic[k] (as many as there are axes). Throws InvalidInput when the lengths differ or there
  // is no axis, Fault("capacity overflow") when the sites cannot be counted or addressed, and
  // std::bad_alloc when the register's memory is refused.
  ClusterBuilder(std::vector<std::size_t> sides, std::vector<bool> periodic);

  std::size_t size() const noexcept { return reg_.size(); }
  // Joins the next `count` qubits (or the rest, if fewer) to their neighbours in the lattice;
  // false once every qubit is. Throws std::bad_alloc when refused, and the builder is then spent.
  bool build_next(std::size_t count);

  // The cluster state, once build_next has returned false; the builder is spent.
  Register finish() &&;

 private:
  // Writes the offsets from the next qubit to its neighbours along every axis but the last (at
  // most two per axis) from `out` on, and returns how many there are.
  std::size_t outer_offsets(Qubit* out) const;

  // One axis of the lattice: its last coordinate, the index step between neighbours along it, and
  // whether its ends are joined.
  struct Axis {
    std::size_t last = 0;
    std::size_t stride = 1;
    bool wraps = false;
  };

  std::vector<Axis> axes_;
  std::vector<std::size_t> coordinates_;
  Register reg_;
  Qubit next_ = 0;
  // The neighbour entries written so far: twice the edges once every qubit is built.
  std::size_t degree_sum_ = 0;
};

}  // namespace korvane::engine
