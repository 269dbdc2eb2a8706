// The pictures' geometry: lattices found from the qubits their edges join, grid and coordinate
// layouts, spring layouts that keep vertices apart, packed pieces, and the timeline's columns,
// frames and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/circuit/text/parser.h"
#include "korvane/picture/circuit_diagram.h"
#include "korvane/picture/graph_layout.h"
#include "korvane/picture/svg.h"

namespace korvane::testing {
namespace {

using picture::DrawnGraph;
using picture::Layout;
using picture::Point;

// A rows x columns grid of qubits, every vertex drawn.
DrawnGraph grid_graph(std::size_t rows, std::size_t columns) {
  DrawnGraph graph;
  graph.register_size = rows * columns;
  for (std::size_t q = 0; q < rows * columns; ++q) graph.qubits.push_back(q);
  for (std::size_t q = 0; q < rows * columns; ++q) {
    if (q % columns + 1 < columns) graph.edges.emplace_back(q, q + 1);
    if (q + columns < rows * columns) graph.edges.emplace_back(q, q + columns);
  }
  graph.coordinates.assign(rows * columns, std::nullopt);
  return graph;
}

TEST(GraphLayout, LatticesAreFoundFromTheQubitsTheirEdgesJoin) {
  EXPECT_EQ(picture::lattice_shape(grid_graph(4, 7))->width, 7U);
  DrawnGraph cube = grid_graph(1, 1);
  cube.qubits.clear();
  cube.edges.clear();
  for (std::size_t q = 0; q < 27; ++q) cube.qubits.push_back(q);
  for (std::size_t q = 0; q < 27; ++q) {
    if (q % 3 < 2) cube.edges.emplace_back(q, q + 1);
    if (q % 9 < 6) cube.edges.emplace_back(q, q + 3);
    if (q < 18) cube.edges.emplace_back(q, q + 9);
  }
  const auto shape = picture::lattice_shape(cube);
  ASSERT_TRUE(shape);
  EXPECT_EQ(shape->width, 3U);
  EXPECT_EQ(shape->layer, 9U);
  DrawnGraph star = grid_graph(1, 1);
  star.qubits = {0, 5, 9, 14, 22, 31, 40};
  for (std::size_t leaf = 1; leaf < 7; ++leaf) star.edges.emplace_back(0, leaf);
  EXPECT_FALSE(picture::lattice_shape(star));
}

TEST(GraphLayout, GridAndCoordinatesPlaceEachQubitWhereItBelongs) {
  const DrawnGraph graph = grid_graph(3, 4);
  const std::vector<Point> at = picture::lay_out(graph, Layout::automatic);
  for (std::size_t q = 0; q < 12; ++q) {
    EXPECT_EQ(at[q].x, static_cast<double>(q % 4));
    EXPECT_EQ(at[q].y, static_cast<double>(q / 4));
  }
  DrawnGraph placed = graph;
  for (std::size_t q = 0; q < 12; ++q) placed.coordinates[q] = Point{-1.0 * q, 2.0};
  EXPECT_EQ(picture::lay_out(placed, Layout::automatic)[5].x, -5.0);
  placed.coordinates[7].reset();
  EXPECT_EQ(picture::lay_out(placed, Layout::automatic)[5].x, 1.0);  // back to the grid
  EXPECT_THROW(picture::lay_out(placed, Layout::coordinates), std::invalid_argument);
}

TEST(GraphLayout, SpringKeepsVerticesApartAndPiecesSideBySide) {
  DrawnGraph graph;
  graph.register_size = 60;
  for (std::size_t q = 0; q < 60; ++q) graph.qubits.push_back(q);
  for (std::size_t q = 0; q < 30; ++q) graph.edges.emplace_back(q, (q * 7 + 3) % 30);  // one piece
  for (std::size_t q = 30; q < 59; q += 2) graph.edges.emplace_back(q, q + 1);         // pairs
  graph.coordinates.assign(60, std::nullopt);
  const std::vector<Point> at = picture::lay_out(graph, Layout::spring);
  double closest = 1e9;
  for (std::size_t a = 0; a < at.size(); ++a) {
    for (std::size_t b = a + 1; b < at.size(); ++b) {
      closest = std::min(closest, std::hypot(at[a].x - at[b].x, at[a].y - at[b].y));
    }
  }
  EXPECT_GT(closest, 0.5);
  EXPECT_EQ(picture::lay_out(graph, Layout::spring)[17].x, at[17].x);  // no randomness
  // The pieces do not overlap: each pair sits outside the big piece's bounds.
  const picture::Bounds big = picture::bounds_of({at.begin(), at.begin() + 30});
  for (std::size_t q = 30; q < 60; ++q) {
    EXPECT_TRUE(at[q].x > big.max_x || at[q].y > big.max_y) << q;
  }
}

TEST(Svg, ElementsEscapeTheirTextAndLeaveEmptyAttributesOut) {
  std::string svg;
  picture::append_element(svg, "text", {{"x", 1.005}, {"class", ""}, {"data-g", "a\"b"}}, "<&>");
  EXPECT_EQ(svg, "<text x=\"1\" data-g=\"a&quot;b\">&lt;&amp;&gt;</text>");
  EXPECT_EQ(picture::number(-0.001), "0");
  EXPECT_EQ(picture::number(12.5), "12.5");
}

std::size_t count(const std::string& text, const std::string& pattern) {
  const std::regex expression(pattern);
  return static_cast<std::size_t>(std::distance(
      std::sregex_iterator(text.begin(), text.end(), expression), std::sregex_iterator()));
}

TEST(CircuitDiagram, GatesPackIntoColumnsAndRepeatIsDrawnOnce) {
  // H 0 and H 1 share a column; CX 0 2 spans row 1 too, so H 1 after it takes the next one.
  const std::string svg = picture::draw_circuit(circuit::parse_circuit(
      "H 0 1\nCX 0 2\nH 1\nREPEAT 1000 {\n  M 0\n  DETECTOR rec[-1]\n}\nM 1\nDETECTOR rec[-1]\n"));
  const std::vector<std::string> xs = [&] {
    std::vector<std::string> found;
    const std::regex h_box("data-gate=\"H\"><rect x=\"([\\d.]+)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), h_box);
         it != std::sregex_iterator(); ++it) {
      found.push_back((*it)[1]);
    }
    return found;
  }();
  ASSERT_EQ(xs.size(), 3U);
  EXPECT_EQ(xs[0], xs[1]);
  EXPECT_NE(xs[1], xs[2]);
  EXPECT_EQ(count(svg, "class=\"repeat\""), 1U);
  EXPECT_EQ(count(svg, "data-gate=\"M\""), 2U);
  EXPECT_EQ(count(svg, ">REPEAT 1000<"), 1U);
  EXPECT_EQ(count(svg, ">rec 1000<"), 1U);  // the bit after the loop counts every repetition
  EXPECT_EQ(count(svg, ">D1000<"), 1U);
}

TEST(CircuitDiagram, LargeCircuitsAreRefused) {
  EXPECT_THROW(picture::draw_circuit(circuit::parse_circuit("H 2000")), std::invalid_argument);
  EXPECT_NO_THROW(picture::draw_circuit(circuit::parse_circuit("H 1999")));
}

}  // namespace
}  // namespace korvane::testing
