#include "number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace korvane::circuit {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Of a decimal that lies outside the range of a double: whether it is too large, rather than too
// close to zero, from the power of ten of its first significant digit.
bool beyond_largest_double(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  const std::size_t exponent_start = std::min(text.find_first_of("eE"), text.size());
  const std::string_view mantissa = text.substr(0, exponent_start);
  std::string_view exponent_text = text.substr(std::min(exponent_start + 1, text.size()));
  const bool negative_exponent = !exponent_text.empty() && exponent_text.front() == '-';
  if (!exponent_text.empty() && (exponent_text.front() == '-' || exponent_text.front() == '+')) {
    exponent_text.remove_prefix(1);
  }
  // Saturates far beyond any double's range.
  const std::int64_t exponent_size = static_cast<std::int64_t>(
      decimal_value(exponent_text, std::uint64_t{1} << 40).value_or(std::uint64_t{1} << 40));
  const std::int64_t exponent = negative_exponent ? -exponent_size : exponent_size;
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;
  const auto power = first < point ? static_cast<std::int64_t>(point - first) - 1
                                   : -static_cast<std::int64_t>(first - point);
  return power + exponent >= 0;
}

// One number as written: `value`, or the fault.
NumberFault read_number(std::string_view item, double& value) {
  const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
  const bool whole = !item.empty() && end == item.data() + item.size();
  if (whole && error == std::errc::result_out_of_range) {
    value = 0.0;
    return beyond_largest_double(item) ? NumberFault::too_large : NumberFault::none;
  }
  if (!whole || error != std::errc() || !std::isfinite(value)) return NumberFault::malformed;
  return NumberFault::none;
}

}  // namespace

std::optional<std::uint64_t> decimal_value(std::string_view digits, std::uint64_t largest) {
  std::uint64_t value = 0;
  for (const char c : digits) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (largest - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

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

NumberFault read_number_list(std::string_view list, std::vector<double>& numbers,
                             std::string_view& bad) {
  if (std::all_of(list.begin(), list.end(), is_space)) return NumberFault::none;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    std::string_view item = list.substr(start, comma - start);
    while (!item.empty() && is_space(item.front())) item.remove_prefix(1);
    while (!item.empty() && is_space(item.back())) item.remove_suffix(1);
    double value = 0.0;
    const NumberFault fault = read_number(item, value);
    if (fault != NumberFault::none) {
      bad = item;
      return fault;
    }
    numbers.push_back(value);
    if (comma == list.size()) return NumberFault::none;
    start = comma + 1;
  }
}

}  // namespace korvane::circuit
