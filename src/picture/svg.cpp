#include "svg.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace korvane::picture {

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

std::string svg_begin(double width, double height, std::string_view title) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
         number(height) + "\" viewBox=\"0 0 " + number(width) + " " + number(height) +
         "\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n<title>" + escaped(title) +
         "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string svg_end() { return "</svg>\n"; }

}  // namespace korvane::picture
