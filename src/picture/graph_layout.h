// Where to put each vertex of a drawn graph: at given coordinates (a circuit's QUBIT_COORDS), on
// the grid of a lattice, on a circle, or by a spring layout, each connected piece on its own and
// the pieces packed in rows. Positions are in units of about one edge length; they depend on the
// graph alone, never on a random draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane::picture {

struct Point {
  double x = 0;
  double y = 0;
};

// The smallest rectangle around some points.
struct Bounds {
  double min_x = 0;
  double min_y = 0;
  double max_x = 0;
  double max_y = 0;

  double width() const { return max_x - min_x; }
  double height() const { return max_y - min_y; }
};
Bounds bounds_of(const std::vector<Point>& points);  // at least one point

enum class Layout : std::uint8_t { automatic, coordinates, grid, spring, circle };

// The layout of that name ("auto", "coords", "grid", "spring", "circle"), or nothing.
std::optional<Layout> layout_named(std::string_view name);

struct DrawnGraph {
  std::uint64_t register_size = 0;
  std::vector<std::uint64_t> qubits;                       // the vertices, ascending
  std::vector<std::pair<std::size_t, std::size_t>> edges;  // positions in `qubits`
  std::vector<std::optional<Point>> coordinates;           // per vertex, where known
};

// Positions of the vertices. `automatic` takes the coordinates when every vertex has them, the
// grid when the edges are those of a lattice, else the spring layout. `grid` places qubit q at
// column q mod W, row q / W, W the lattice's width, or the most common gap between the qubits of
// an edge beyond 1, or the square root of the register size. Throws
// std::invalid_argument when `coordinates` is asked for and a vertex has none.
std::vector<Point> lay_out(const DrawnGraph& graph, Layout layout);

// The row width of the lattice whose edges join qubits 1 apart (rows) and `width` apart
// (columns), or `width` and width x height apart (3D), when at least 2 in 3 of 6 or more edges do
// so.
struct LatticeShape {
  std::uint64_t width = 0;
  std::uint64_t layer = 0;  // width x height for a 3D lattice, else 0
};
std::optional<LatticeShape> lattice_shape(const DrawnGraph& graph);

}  // namespace korvane::picture
