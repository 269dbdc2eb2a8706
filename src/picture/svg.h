// Writing SVG text: elements with their attributes, escaped text, numbers with two decimals, and
// the document frame.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace korvane::picture {

// `text` with &, <, > and " escaped for an attribute or element.
std::string escaped(std::string_view text);

// A coordinate: at most two decimals, no exponent.
std::string number(double value);

// The parts one after another.
std::string joined(std::initializer_list<std::string_view> parts);

// One attribute of an element, its value escaped; left out when the value is empty.
struct Attribute {
  Attribute(std::string_view attribute, double number_value)
      : name(attribute), value(number(number_value)) {}
  Attribute(std::string_view attribute, std::string_view text)
      : name(attribute), value(escaped(text)) {}
  Attribute(std::string_view attribute, const char* text)
      : Attribute(attribute, std::string_view(text)) {}

  std::string_view name;
  std::string value;
};

// Appends <tag a="v" ...>text</tag>, or <tag a="v" .../> without text.
void append_element(std::string& svg, std::string_view tag,
                    std::initializer_list<Attribute> attributes, std::string_view text = {});
// Appends <tag a="v" ...>, to be closed by append_close(svg, tag).
void append_open(std::string& svg, std::string_view tag,
                 std::initializer_list<Attribute> attributes);
void append_close(std::string& svg, std::string_view tag);

// The opening <svg> element of a picture `width` x `height` pixels with a white background;
// close it with svg_end().
std::string svg_begin(double width, double height, std::string_view title);
std::string svg_end();

}  // namespace korvane::picture
