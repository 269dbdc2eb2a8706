// Numbers in circuit and model text: written in their shortest exact form, and read as the
// comma-separated lists between parentheses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::circuit {

void append_number(std::string& text, double value);
void append_unsigned(std::string& text, std::uint64_t value);

// The decimal `digits` as a number, or nothing when it exceeds `largest`; checked before every
// step, so that no value wraps around.
std::optional<std::uint64_t> decimal_value(std::string_view digits, std::uint64_t largest);

enum class NumberFault : std::uint8_t { none, malformed, too_large };

// Appends the finite numbers of `list` ("0.1, 2, 3e-5"; blank for none) to `numbers`, a number
// too close to zero for a double as 0; on a bad item returns its fault, with `bad` the item as
// written.
NumberFault read_number_list(std::string_view list, std::vector<double>& numbers,
                             std::string_view& bad);

}  // namespace korvane::circuit
