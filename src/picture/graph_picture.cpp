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
  std::string title = "Graph state of " + std::to_string(graph.register_size) +
                      " qubits: " + std::to_string(n) + " drawn, " +
                      std::to_string(graph.edges.size()) + " edges";
  if (n == 0) {
    return svg_begin(360, 60, title) +
           "<text x=\"20\" y=\"35\" font-size=\"14\">No qubit to draw: every qubit is "
           "isolated.</text>\n" +
           svg_end();
  }
  const double scale = scale_of(picture, positions);
  double min_x = positions[0].x, min_y = positions[0].y, max_x = min_x, max_y = min_y;
  for (const Point& p : positions) {
    min_x = std::min(min_x, p.x);
    min_y = std::min(min_y, p.y);
    max_x = std::max(max_x, p.x);
    max_y = std::max(max_y, p.y);
  }
  const auto x_of = [&](std::size_t v) { return margin + (positions[v].x - min_x) * scale; };
  const auto y_of = [&](std::size_t v) { return margin + (positions[v].y - min_y) * scale; };
  std::string svg = svg_begin((max_x - min_x) * scale + 2 * margin,
                              (max_y - min_y) * scale + 2 * margin + node_radius, title);
  svg.append("<g stroke=\"#555\" stroke-width=\"2\">\n");
  for (const auto& [a, b] : graph.edges) {
    svg.append("<line x1=\"" + number(x_of(a)) + "\" y1=\"" + number(y_of(a)) + "\" x2=\"" +
               number(x_of(b)) + "\" y2=\"" + number(y_of(b)) + "\"/>\n");
  }
  svg.append("</g>\n<g font-size=\"12\" text-anchor=\"middle\">\n");
  for (std::size_t v = 0; v < n; ++v) {
    const std::string index = std::to_string(graph.qubits[v]);
    const std::string_view vop_name = vop_names[picture.vops[v]];
    const std::string x = number(x_of(v)), y = number(y_of(v));
    svg.append("<g class=\"vertex\" data-qubit=\"" + index + "\" data-vop=\"" +
               std::string(vop_name) + "\"><title>qubit " + index + ", VOP " +
               std::to_string(picture.vops[v]) + " (" + std::string(vop_name) + ")</title>");
    svg.append("<circle cx=\"" + x + "\" cy=\"" + y + "\" r=\"" + number(node_radius) +
               "\" fill=\"" + std::string(fill_of(picture.vops[v])) +
               "\" stroke=\"#222\" stroke-width=\"1.5\"" +
               (picture.context[v] ? " stroke-dasharray=\"4 3\"" : "") + "/>");
    // Long indices shrink to stay inside the circle.
    const double index_size = std::min(12.0, 40.0 / static_cast<double>(index.size()));
    svg.append("<text class=\"index\" x=\"" + x + "\" y=\"" + number(y_of(v) + index_size / 3) +
               "\" font-size=\"" + number(index_size) + "\">" + index + "</text>");
    svg.append("<text class=\"vop\" x=\"" + x + "\" y=\"" + number(y_of(v) + node_radius + 12) +
               "\" font-size=\"10\" fill=\"#333\">" + escaped(vop_name) + "</text></g>\n");
  }
  svg.append("</g>\n");
  return svg + svg_end();
}

}  // namespace korvane::picture
