#include "svg.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace korvane::picture {
namespace {

void append_tag(std::string& svg, std::string_view tag,
                std::initializer_list<Attribute> attributes) {
  svg.push_back('<');
  svg.append(tag);
  for (const Attribute& attribute : attributes) {
    if (attribute.value.empty()) continue;
    svg.push_back(' ');
    svg.append(attribute.name);
    svg.append("=\"");
    svg.append(attribute.value);
    svg.push_back('"');
  }
}

}  // namespace

std::string escaped(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        result.append("&amp;");
        break;
      case '<':
        result.append("&lt;");
        break;
      case '>':
        result.append("&gt;");
        break;
      case '"':
        result.append("&quot;");
        break;
      default:
        result.push_back(c);
    }
  }
  return result;
}

std::string number(double value) {
  const double rounded = std::round(value * 100) / 100;
  std::array<char, 32> buffer{};
  const int written =
      std::snprintf(buffer.data(), buffer.size(), "%.2f", rounded == 0 ? 0.0 : rounded);
  std::string text(buffer.data(), static_cast<std::size_t>(written));
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

void append_element(std::string& svg, std::string_view tag,
                    std::initializer_list<Attribute> attributes, std::string_view text) {
  append_tag(svg, tag, attributes);
  if (text.empty()) {
    svg.append("/>");
    return;
  }
  svg.push_back('>');
  svg.append(escaped(text));
  append_close(svg, tag);
}

void append_open(std::string& svg, std::string_view tag,
                 std::initializer_list<Attribute> attributes) {
  append_tag(svg, tag, attributes);
  svg.push_back('>');
}

void append_close(std::string& svg, std::string_view tag) {
  svg.append("</");
  svg.append(tag);
  svg.push_back('>');
}

std::string svg_begin(double width, double height, std::string_view title) {
  std::string svg;
  append_open(svg, "svg",
              {{"xmlns", "http://www.w3.org/2000/svg"},
               {"width", width},
               {"height", height},
               {"viewBox", "0 0 " + number(width) + " " + number(height)},
               {"font-family", "DejaVu Sans, Verdana, sans-serif"}});
  svg.push_back('\n');
  append_element(svg, "title", {}, title);
  svg.push_back('\n');
  append_element(svg, "rect", {{"width", "100%"}, {"height", "100%"}, {"fill", "white"}});
  svg.push_back('\n');
  return svg;
}

std::string svg_end() { return "</svg>\n"; }

}  // namespace korvane::picture
