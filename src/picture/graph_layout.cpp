#include "graph_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string>

namespace korvane::picture {
namespace {

// Spring layout: this many rounds of the Fruchterman-Reingold forces, cooling linearly.
constexpr int spring_rounds = 120;
// Gap between packed pieces, in edge lengths.
constexpr double piece_gap = 1.2;
// Fewer edges than this tell nothing of a lattice.
constexpr std::size_t smallest_lattice_edges = 6;
// Spring layouts end with no two vertices closer than this many (median) edge lengths.
constexpr double closest_vertices = 0.6;
constexpr int separation_rounds = 50;
// Pieces up to this size feel the repulsion of every other vertex; larger ones only of those
// within a few edge lengths.
constexpr std::size_t all_pairs_piece = 1500;

// Connected pieces, each a list of vertex positions, largest first.
std::vector<std::vector<std::size_t>> pieces_of(const DrawnGraph& graph) {
  const std::size_t n = graph.qubits.size();
  std::vector<std::size_t> parent(n);
  for (std::size_t v = 0; v < n; ++v) parent[v] = v;
  const auto root = [&](std::size_t v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  };
  for (const auto& [a, b] : graph.edges) parent[root(a)] = root(b);
  std::map<std::size_t, std::vector<std::size_t>> by_root;
  for (std::size_t v = 0; v < n; ++v) by_root[root(v)].push_back(v);
  std::vector<std::vector<std::size_t>> pieces;
  pieces.reserve(by_root.size());
  for (auto& [r, members] : by_root) pieces.push_back(std::move(members));
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const auto& a, const auto& b) { return a.size() > b.size(); });
  return pieces;
}

// The vertices of each cell of side `side`, keyed by the cell.
std::map<std::pair<long, long>, std::vector<std::size_t>> cells_of(const std::vector<Point>& at,
                                                                   double side) {
  std::map<std::pair<long, long>, std::vector<std::size_t>> cells;
  for (std::size_t v = 0; v < at.size(); ++v) {
    cells[{std::lround(std::floor(at[v].x / side)), std::lround(std::floor(at[v].y / side))}]
        .push_back(v);
  }
  return cells;
}

// Scales the layout to a median edge of 1, then pushes apart the vertices closer than
// closest_vertices, so that no two circles of the picture overlap.
void separate(std::vector<Point>& at,
              const std::vector<std::pair<std::size_t, std::size_t>>& edges) {
  std::vector<double> lengths;
  lengths.reserve(edges.size());
  for (const auto& [a, b] : edges)
    lengths.push_back(std::hypot(at[a].x - at[b].x, at[a].y - at[b].y));
  std::nth_element(lengths.begin(),
                   lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2),
                   lengths.end());
  const double median = lengths.empty() ? 1.0 : std::max(lengths[lengths.size() / 2], 1e-6);
  for (Point& point : at) point = {point.x / median, point.y / median};
  for (int round = 0; round < separation_rounds; ++round) {
    bool moved = false;
    const auto cells = cells_of(at, closest_vertices);
    for (const auto& [cell, members] : cells) {
      for (long dx = -1; dx <= 1; ++dx) {
        for (long dy = -1; dy <= 1; ++dy) {
          const auto other = cells.find({cell.first + dx, cell.second + dy});
          if (other == cells.end()) continue;
          for (const std::size_t v : members) {
            for (const std::size_t w : other->second) {
              if (w <= v) continue;
              double x = at[w].x - at[v].x, y = at[w].y - at[v].y;
              double distance = std::hypot(x, y);
              if (distance >= closest_vertices) continue;
              if (distance < 1e-9) {  // one point: part them along x
                x = 1e-3;
                y = 0;
                distance = 1e-3;
              }
              const double push = (closest_vertices - distance) / 2 / distance;
              at[w] = {at[w].x + x * push, at[w].y + y * push};
              at[v] = {at[v].x - x * push, at[v].y - y * push};
              moved = true;
            }
          }
        }
      }
    }
    if (!moved) return;
  }
}

// Fruchterman-Reingold on one piece, `local` its vertices, `edges` in local positions. Repulsion
// acts only within two edge lengths, found through a grid of cells, so a round costs about the
// vertex count.
std::vector<Point> spring(std::size_t count,
                          const std::vector<std::pair<std::size_t, std::size_t>>& edges) {
  std::vector<Point> at(count);
  // A start that depends on the piece only: a spiral in vertex order.
  for (std::size_t v = 0; v < count; ++v) {
    const double angle = 2.399963 * static_cast<double>(v);  // the golden angle
    const double radius = std::sqrt(static_cast<double>(v) + 0.5);
    at[v] = {radius * std::cos(angle), radius * std::sin(angle)};
  }
  if (count < 2) return at;
  constexpr double k = 1.0;  // the ideal edge length
  const double reach = count <= all_pairs_piece ? std::numeric_limits<double>::infinity() : 3 * k;
  std::vector<Point> shift(count);
  std::vector<std::size_t> all(count);
  for (std::size_t v = 0; v < count; ++v) all[v] = v;
  const int rounds = count > 20000 ? spring_rounds / 3 : spring_rounds;
  double temperature = std::sqrt(static_cast<double>(count)) / 2;
  const double cooling = temperature / rounds;
  for (int round = 0; round < rounds; ++round) {
    std::fill(shift.begin(), shift.end(), Point{});
    const auto cells =
        count <= all_pairs_piece
            ? std::map<std::pair<long, long>, std::vector<std::size_t>>{{{0, 0}, all}}
            : cells_of(at, reach);
    for (const auto& [cell, members] : cells) {
      for (long dx = -1; dx <= 1; ++dx) {
        for (long dy = -1; dy <= 1; ++dy) {
          if (count <= all_pairs_piece && (dx != 0 || dy != 0)) continue;
          const auto other = cells.find({cell.first + dx, cell.second + dy});
          if (other == cells.end()) continue;
          for (const std::size_t v : members) {
            for (const std::size_t w : other->second) {
              if (w == v) continue;
              double x = at[v].x - at[w].x, y = at[v].y - at[w].y;
              double distance = std::hypot(x, y);
              if (distance > reach) continue;
              if (distance < 1e-6) {  // two vertices at one point: part them by their order
                x = v < w ? 1e-3 : -1e-3;
                y = 0;
                distance = 1e-3;
              }
              const double force = k * k / distance;
              shift[v].x += x / distance * force;
              shift[v].y += y / distance * force;
            }
          }
        }
      }
    }
    for (const auto& [a, b] : edges) {
      const double x = at[a].x - at[b].x, y = at[a].y - at[b].y;
      const double distance = std::max(std::hypot(x, y), 1e-6);
      const double force = distance * distance / k;
      shift[a].x -= x / distance * force;
      shift[a].y -= y / distance * force;
      shift[b].x += x / distance * force;
      shift[b].y += y / distance * force;
    }
    for (std::size_t v = 0; v < count; ++v) {
      const double length = std::hypot(shift[v].x, shift[v].y);
      if (length < 1e-12) continue;
      const double step = std::min(length, temperature);
      at[v].x += shift[v].x / length * step;
      at[v].y += shift[v].y / length * step;
    }
    temperature = std::max(temperature - cooling, 0.01);
  }
  separate(at, edges);
  return at;
}

std::vector<Point> circle(std::size_t count) {
  std::vector<Point> at(count);
  const double radius = std::max(1.0, static_cast<double>(count) / (2 * std::numbers::pi));
  for (std::size_t v = 0; v < count; ++v) {
    const double angle = 2 * std::numbers::pi * static_cast<double>(v) / static_cast<double>(count);
    at[v] = {radius * std::cos(angle), radius * std::sin(angle)};
  }
  return at;
}

// Lays out each piece with `place`, then packs the pieces in rows of about the width of the
// largest, left to right.
template <class Place>
std::vector<Point> packed(const DrawnGraph& graph, Place&& place) {
  std::vector<Point> positions(graph.qubits.size());
  std::vector<std::size_t> local(graph.qubits.size());
  const std::vector<std::vector<std::size_t>> pieces = pieces_of(graph);
  std::vector<std::vector<std::pair<std::size_t, std::size_t>>> piece_edges(pieces.size());
  std::vector<std::size_t> piece_of(graph.qubits.size());
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    for (std::size_t i = 0; i < pieces[p].size(); ++i) {
      local[pieces[p][i]] = i;
      piece_of[pieces[p][i]] = p;
    }
  }
  for (const auto& [a, b] : graph.edges) piece_edges[piece_of[a]].emplace_back(local[a], local[b]);
  double row_width = 0, cursor_x = 0, cursor_y = 0, row_height = 0;
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    const std::vector<Point> at = place(pieces[p].size(), piece_edges[p]);
    const Bounds bounds = bounds_of(at);
    const double width = bounds.width(), height = bounds.height();
    if (p == 0) row_width = std::max(width, std::sqrt(static_cast<double>(graph.qubits.size())));
    if (cursor_x > 0 && cursor_x + width > row_width) {
      cursor_x = 0;
      cursor_y += row_height + piece_gap;
      row_height = 0;
    }
    for (std::size_t i = 0; i < at.size(); ++i) {
      positions[pieces[p][i]] = {cursor_x + at[i].x - bounds.min_x,
                                 cursor_y + at[i].y - bounds.min_y};
    }
    cursor_x += width + piece_gap;
    row_height = std::max(row_height, height);
  }
  return positions;
}

// The most common gap beyond 1 between the qubits of an edge, else the side of the square that
// holds the register.
std::uint64_t common_long_gap(const DrawnGraph& graph) {
  std::map<std::uint64_t, std::size_t> by_gap;
  for (const auto& [a, b] : graph.edges) {
    const std::uint64_t qa = graph.qubits[a], qb = graph.qubits[b];
    if (std::max(qa, qb) - std::min(qa, qb) > 1) ++by_gap[std::max(qa, qb) - std::min(qa, qb)];
  }
  const auto most =
      std::max_element(by_gap.begin(), by_gap.end(),
                       [](const auto& a, const auto& b) { return a.second < b.second; });
  if (most != by_gap.end()) return most->first;
  return std::max<std::uint64_t>(
      1,
      static_cast<std::uint64_t>(std::ceil(std::sqrt(static_cast<double>(graph.register_size)))));
}

}  // namespace

Bounds bounds_of(const std::vector<Point>& points) {
  Bounds bounds{points[0].x, points[0].y, points[0].x, points[0].y};
  for (const Point& point : points) {
    bounds.min_x = std::min(bounds.min_x, point.x);
    bounds.min_y = std::min(bounds.min_y, point.y);
    bounds.max_x = std::max(bounds.max_x, point.x);
    bounds.max_y = std::max(bounds.max_y, point.y);
  }
  return bounds;
}

std::optional<Layout> layout_named(std::string_view name) {
  if (name == "auto") return Layout::automatic;
  if (name == "coords") return Layout::coordinates;
  if (name == "grid") return Layout::grid;
  if (name == "spring") return Layout::spring;
  if (name == "circle") return Layout::circle;
  return std::nullopt;
}

std::optional<LatticeShape> lattice_shape(const DrawnGraph& graph) {
  if (graph.edges.size() < smallest_lattice_edges) return std::nullopt;
  std::map<std::uint64_t, std::size_t> by_gap;
  for (const auto& [a, b] : graph.edges) {
    const std::uint64_t qa = graph.qubits[a], qb = graph.qubits[b];
    ++by_gap[qa > qb ? qa - qb : qb - qa];
  }
  std::vector<std::pair<std::size_t, std::uint64_t>> gaps;  // (count, gap), most common first
  gaps.reserve(by_gap.size());
  for (const auto& [gap, count] : by_gap) gaps.emplace_back(count, gap);
  std::sort(gaps.rbegin(), gaps.rend());
  const auto share = [&](std::initializer_list<std::uint64_t> wanted) {
    std::size_t covered = 0;
    for (const std::uint64_t gap : wanted) covered += by_gap.contains(gap) ? by_gap[gap] : 0;
    return 3 * covered >= 2 * graph.edges.size();
  };
  std::vector<std::uint64_t> long_gaps;
  for (const auto& [count, gap] : gaps) {
    if (gap > 1 && long_gaps.size() < 2) long_gaps.push_back(gap);
  }
  std::sort(long_gaps.begin(), long_gaps.end());
  // One edge in six or more between layers makes a 3D lattice.
  if (long_gaps.size() == 2 && long_gaps[1] % long_gaps[0] == 0 &&
      share({1, long_gaps[0], long_gaps[1]}) && 6 * by_gap[long_gaps[1]] >= graph.edges.size()) {
    return LatticeShape{long_gaps[0], long_gaps[1]};
  }
  for (const std::uint64_t width : long_gaps) {
    if (share({1, width})) return LatticeShape{width, 0};
  }
  if (share({1})) return LatticeShape{graph.qubits.back() + 1, 0};
  return std::nullopt;
}

std::vector<Point> lay_out(const DrawnGraph& graph, Layout layout) {
  const std::size_t n = graph.qubits.size();
  if (n == 0) return {};
  const bool all_known = std::all_of(graph.coordinates.begin(), graph.coordinates.end(),
                                     [](const std::optional<Point>& p) { return p.has_value(); });
  if (layout == Layout::coordinates || (layout == Layout::automatic && all_known)) {
    std::vector<Point> positions(n);
    for (std::size_t v = 0; v < n; ++v) {
      if (!graph.coordinates[v]) {
        throw std::invalid_argument("qubit " + std::to_string(graph.qubits[v]) +
                                    " has no coordinates (QUBIT_COORDS) to be drawn at");
      }
      positions[v] = *graph.coordinates[v];
    }
    return positions;
  }
  std::optional<LatticeShape> shape = lattice_shape(graph);
  if (layout == Layout::grid || (layout == Layout::automatic && shape)) {
    if (!shape) shape = LatticeShape{common_long_gap(graph), 0};
    std::vector<Point> positions(n);
    const std::uint64_t width = shape->width;
    for (std::size_t v = 0; v < n; ++v) {
      // A 3D lattice puts its layers side by side.
      const std::uint64_t q = graph.qubits[v];
      const std::uint64_t layer = shape->layer != 0 ? q / shape->layer : 0;
      const std::uint64_t in_layer = shape->layer != 0 ? q % shape->layer : q;
      const double layer_offset = static_cast<double>(layer) * (static_cast<double>(width) + 1);
      const std::uint64_t row = in_layer / width, column = in_layer % width;
      positions[v] = {layer_offset + static_cast<double>(column), static_cast<double>(row)};
    }
    return positions;
  }
  if (layout == Layout::circle) return circle(n);
  return packed(graph, [](std::size_t count, const auto& edges) { return spring(count, edges); });
}

}  // namespace korvane::picture
