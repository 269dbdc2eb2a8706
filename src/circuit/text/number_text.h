// Numbers in circuit and model text: written in their shortest exact form, and read as the
// comma-separated lists between parentheses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::circuit {

void append_number(std::string& text, double value);
void append_unsigned(std::string& text, std::uint64_t value);

// Appends the finite numbers of `list` ("0.1, 2, 3e-5"; blank for none) to `numbers`; on a bad
// item returns false with `bad` the item as written.
bool read_number_list(std::string_view list, std::vector<double>& numbers, std::string_view& bad);

}  // namespace korvane::circuit
