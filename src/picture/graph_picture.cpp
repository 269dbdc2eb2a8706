#include "graph_picture.h"

#include <algorithm>
#include <cmath>

#include "svg.h"
#include "vop_names.h"

namespace korvane::picture {
namespace {

constexpr double node_radius = 15;
constexpr double edge_pixels = 72;  // the length of a typical edge
constexpr double margin = 40;

// A fill per kind of vertex operator: identity, Pauli, and by the pair of axes it exchanges or
// the cycle it makes.
std::string_view fill_of(clifford::Vop vop) {
  constexpr std::array<std::string_view, 6> by_block{"#ffffff", "#fde2b0", "#cfe3ff",
                                                     "#d6f0cc", "#ead6f5", "#f5d6de"};
  if (vop != clifford::identity && vop <= clifford::pauli_z) return "#e4e4e4";
  return by_block[vop / 4U];
}

// Pixels per layout unit: a typical (median) edge is edge_pixels long.
double scale_of(const GraphPicture& picture, const std::vector<Point>& at) {
  std::vector<double> lengths;
  for (const auto& [a, b] : picture.graph.edges) {
    const double length = std::hypot(at[a].x - at[b].x, at[a].y - at[b].y);
    if (length > 1e-9) lengths.push_back(length);
  }
  if (lengths.empty()) return edge_pixels;
  std::nth_element(lengths.begin(),
                   lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2),
                   lengths.end());
  return edge_pixels / lengths[lengths.size() / 2];
}

}  // namespace

std::string draw_graph(const GraphPicture& picture, const std::vector<Point>& positions) {
  const DrawnGraph& graph = picture.graph;
  const std::size_t n = graph.qubits.size();
  const std::string title = joined({"Graph state of ", std::to_string(graph.register_size),
                                    " qubits: ", std::to_string(n), " drawn, ",
                                    std::to_string(graph.edges.size()), " edges"});
  if (n == 0) {
    std::string svg = svg_begin(360, 60, title);
    append_element(svg, "text", {{"x", 20.0}, {"y", 35.0}, {"font-size", 14.0}},
                   "No qubit to draw: every qubit is isolated.");
    return svg + "\n" + svg_end();
  }
  const double scale = scale_of(picture, positions);
  const Bounds bounds = bounds_of(positions);
  const auto x_of = [&](std::size_t v) { return margin + (positions[v].x - bounds.min_x) * scale; };
  const auto y_of = [&](std::size_t v) { return margin + (positions[v].y - bounds.min_y) * scale; };
  std::string svg = svg_begin(bounds.width() * scale + 2 * margin,
                              bounds.height() * scale + 2 * margin + node_radius, title);
  append_open(svg, "g", {{"stroke", "#555"}, {"stroke-width", 2.0}});
  svg.push_back('\n');
  for (const auto& [a, b] : graph.edges) {
    append_element(svg, "line",
                   {{"x1", x_of(a)}, {"y1", y_of(a)}, {"x2", x_of(b)}, {"y2", y_of(b)}});
    svg.push_back('\n');
  }
  append_close(svg, "g");
  svg.push_back('\n');
  append_open(svg, "g", {{"font-size", 12.0}, {"text-anchor", "middle"}});
  svg.push_back('\n');
  for (std::size_t v = 0; v < n; ++v) {
    const std::string index = std::to_string(graph.qubits[v]);
    const std::string_view vop_name = vop_names[picture.vops[v]];
    const double x = x_of(v), y = y_of(v);
    append_open(svg, "g", {{"class", "vertex"}, {"data-qubit", index}, {"data-vop", vop_name}});
    append_element(
        svg, "title", {},
        joined({"qubit ", index, ", VOP ", std::to_string(picture.vops[v]), " (", vop_name, ")"}));
    append_element(svg, "circle",
                   {{"cx", x},
                    {"cy", y},
                    {"r", node_radius},
                    {"fill", fill_of(picture.vops[v])},
                    {"stroke", "#222"},
                    {"stroke-width", 1.5},
                    {"stroke-dasharray", picture.context[v] ? "4 3" : ""}});
    // Long indices shrink to stay inside the circle.
    const double index_size = std::min(12.0, 40.0 / static_cast<double>(index.size()));
    append_element(
        svg, "text",
        {{"class", "index"}, {"x", x}, {"y", y + index_size / 3}, {"font-size", index_size}},
        index);
    append_element(svg, "text",
                   {{"class", "vop"},
                    {"x", x},
                    {"y", y + node_radius + 12},
                    {"font-size", 10.0},
                    {"fill", "#333"}},
                   vop_name);
    append_close(svg, "g");
    svg.push_back('\n');
  }
  append_close(svg, "g");
  svg.push_back('\n');
  return svg + svg_end();
}

}  // namespace korvane::picture
