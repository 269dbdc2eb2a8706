// The SVG of a graph state: a circle per vertex, labelled with its qubit index and with the name
// of its vertex operator beneath, a line per edge. Vertices drawn only as neighbours of the asked
// ones are outlined dashed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../clifford/local_clifford.h"
#include "graph_layout.h"

namespace korvane::picture {

// Above this many vertices a drawing is refused unless the caller chose them.
inline constexpr std::size_t most_drawn_vertices = 5000;

struct GraphPicture {
  DrawnGraph graph;
  std::vector<clifford::Vop> vops;  // per vertex
  std::vector<bool> context;        // per vertex: drawn only as a neighbour
  std::uint64_t register_size = 0;  // for the title
};

// The SVG text of `picture` with its vertices at `positions` (as lay_out gives them).
std::string draw_graph(const GraphPicture& picture, const std::vector<Point>& positions);

}  // namespace korvane::picture
