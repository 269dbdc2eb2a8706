#include "cluster_state.h"

#include <algorithm>
#include <span>
#include <utility>

#include "../../clifford/local_clifford.h"
#include "../base.h"

namespace korvane::engine {
namespace {

// Sites of the lattice; Fault("capacity overflow") when they cannot be counted.
std::size_t site_count(const std::vector<std::size_t>& sides, const std::vector<bool>& periodic) {
  if (sides.empty()) throw InvalidInput("a lattice has at least one axis");
  if (periodic.size() != sides.size()) {
    throw InvalidInput("a lattice of " + std::to_string(sides.size()) + " axes takes " +
                       std::to_string(sides.size()) + " periodic flags, not " +
                       std::to_string(periodic.size()));
  }
  std::size_t sites = 1;
  for (const std::size_t side : sides) {
    if (side != 0 && sites > static_cast<std::size_t>(-1) / side) throw Fault("capacity overflow");
    sites *= side;
  }
  return sites;
}

// An axis wraps around when its first and last sites are distinct and not neighbours already.
constexpr std::size_t least_wrapping_side = 3;

}  // namespace

ClusterBuilder::ClusterBuilder(std::vector<std::size_t> sides, std::vector<bool> periodic)
    : axes_(sides.size()), coordinates_(sides.size(), 0), reg_(site_count(sides, periodic)) {
  for (std::size_t axis = sides.size(); axis-- > 0;) {
    axes_[axis].last = sides[axis] == 0 ? 0 : sides[axis] - 1;
    axes_[axis].wraps = periodic[axis] && sides[axis] >= least_wrapping_side;
    if (axis + 1 < sides.size()) axes_[axis].stride = axes_[axis + 1].stride * sides[axis + 1];
  }
  reg_.set_every_vop(clifford::identity);
}

std::size_t ClusterBuilder::outer_offsets(Qubit* out) const {
  Qubit* const first = out;
  for (std::size_t axis = 0; axis + 1 < axes_.size(); ++axis) {
    const Axis& along = axes_[axis];
    const std::size_t at = coordinates_[axis];
    // Offsets below the qubit are kept modulo 2^64, so adding one steps back.
    if (at > 0) {
      *out++ = -along.stride;
    } else if (along.wraps) {
      *out++ = along.last * along.stride;
    }
    if (at < along.last) {
      *out++ = along.stride;
    } else if (along.wraps) {
      *out++ = -(along.last * along.stride);
    }
  }
  return static_cast<std::size_t>(out - first);
}

bool ClusterBuilder::build_next(std::size_t count) {
  const Qubit end = next_ + std::min(count, reg_.size() - next_);
  std::vector<Qubit> offsets(2 * axes_.size());
  std::vector<Qubit> neighbors(2 * axes_.size());
  // The neighbours along the other axes are the same offsets for a whole run along the last.
  std::size_t outer = outer_offsets(offsets.data());
  const Axis& inner = axes_.back();
  std::size_t& at = coordinates_.back();
  const auto neighbors_of_next = [&] {
    std::size_t degree = 0;
    for (std::size_t i = 0; i < outer; ++i) neighbors[degree++] = next_ + offsets[i];
    if (at > 0) {
      neighbors[degree++] = next_ - inner.stride;
    } else if (inner.wraps) {
      neighbors[degree++] = next_ + inner.last * inner.stride;
    }
    if (at < inner.last) {
      neighbors[degree++] = next_ + inner.stride;
    } else if (inner.wraps) {
      neighbors[degree++] = next_ - inner.last * inner.stride;
    }
    return degree;
  };
  const auto step = [&] {
    ++next_;
    if (at < inner.last) {
      ++at;
      return;
    }
    at = 0;
    for (std::size_t axis = axes_.size() - 1; axis-- > 0;) {
      if (coordinates_[axis] < axes_[axis].last) {
        ++coordinates_[axis];
        break;
      }
      coordinates_[axis] = 0;
    }
    outer = outer_offsets(offsets.data());
  };
  reg_.visit([&](auto& graph) {
    if constexpr (requires { graph.adjacency().memory(); }) {
      // Sets: each qubit's own set, written once; the edge count follows at the end.
      auto& sets = graph.adjacency();
      const SetMemory memory = sets.memory();
      for (; next_ < end; step()) {
        const std::size_t degree = neighbors_of_next();
        if (degree == 0) continue;
        sets.mutable_set(next_).assign(std::span(neighbors.data(), degree), memory);
        degree_sum_ += degree;
      }
    } else {
      // A matrix takes each edge from its first end.
      for (; next_ < end; step()) {
        const std::size_t degree = neighbors_of_next();
        for (std::size_t i = 0; i < degree; ++i)
          if (neighbors[i] > next_) graph.add_edge(next_, neighbors[i]);
      }
    }
  });
  return next_ < reg_.size();
}

Register ClusterBuilder::finish() && {
  reg_.visit([&](auto& graph) {
    if constexpr (requires { graph.adjacency().memory(); }) {
      graph.adjacency().set_edge_count(degree_sum_ / 2);
    }
  });
  reg_.settle_storage();
  return std::move(reg_);
}

}  // namespace korvane::engine
