// Writing SVG text: escaped text, numbers with two decimals, and the document frame.
#pragma once

#include <string>
#include <string_view>

namespace korvane::picture {

// `text` with &, <, > and " escaped for an attribute or element.
std::string escaped(std::string_view text);

// A coordinate: at most two decimals, no exponent.
std::string number(double value);

// The opening <svg> element of a picture `width` x `height` pixels with a white background, and
// the styles the pictures share; close it with svg_end().
std::string svg_begin(double width, double height, std::string_view title);
std::string svg_end();

}  // namespace korvane::picture
