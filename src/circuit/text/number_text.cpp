#include "number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace korvane::circuit {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

void append_number(std::string& text, double value) {
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  text.append(buffer.data(), written.ptr);
}

void append_unsigned(std::string& text, std::uint64_t value) {
  std::array<char, 24> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  text.append(buffer.data(), written.ptr);
}

bool read_number_list(std::string_view list, std::vector<double>& numbers, std::string_view& bad) {
  if (std::all_of(list.begin(), list.end(), is_space)) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    std::string_view item = list.substr(start, comma - start);
    while (!item.empty() && is_space(item.front())) item.remove_prefix(1);
    while (!item.empty() && is_space(item.back())) item.remove_suffix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
    if (item.empty() || error != std::errc() || end != item.data() + item.size() ||
        !std::isfinite(value)) {
      bad = item;
      return false;
    }
    numbers.push_back(value);
    if (comma == list.size()) return true;
    start = comma + 1;
  }
}

}  // namespace korvane::circuit
