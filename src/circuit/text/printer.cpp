#include "printer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane::circuit {
namespace {

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

void append_record(std::string& text, std::uint32_t lookback) {
  text.append("rec[-");
  append_unsigned(text, lookback);
  text.push_back(']');
}

void append_instruction(std::string& text, const Program& program, const Instruction& instruction) {
  text.append(gate_of(instruction.gate).name);
  if (instruction.kind == Kind::repeat) {
    text.push_back(' ');
    append_unsigned(text, program.repeat_counts[instruction.detail]);
    text.append(" {");
    return;
  }
  const std::span<const double> arguments = program.arguments_of(instruction);
  if (instruction.kind == Kind::observable) {
    text.push_back('(');
    append_unsigned(text, instruction.detail);
    text.push_back(')');
  } else if (!arguments.empty()) {
    text.push_back('(');
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      if (i != 0) text.append(", ");
      append_number(text, arguments[i]);
    }
    text.push_back(')');
  }
  const std::span<const std::uint32_t> targets = program.targets_of(instruction);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    text.push_back(' ');
    const std::uint32_t entry = targets[i];
    switch (instruction.kind) {
      case Kind::detector:
      case Kind::observable:
        append_record(text, entry);
        break;
      case Kind::feedback:
        if (i % 2 == 0) {
          append_record(text, entry);
        } else {
          append_unsigned(text, entry);
        }
        break;
      case Kind::measure:
      case Kind::measure_reset:
        if ((entry & inverted_flag) != 0) text.push_back('!');
        append_unsigned(text, entry & ~inverted_flag);
        break;
      default:
        append_unsigned(text, entry);
        break;
    }
  }
}

// Bodies nested deeper than this are indented no further, so that the text of deep nesting
// grows linearly with the depth.
constexpr std::size_t deepest_indent = 16;

void indent(std::string& text, std::size_t depth) {
  text.append(4 * std::min(depth, deepest_indent), ' ');
}

}  // namespace

std::string print_circuit(const Program& program) {
  std::string text;
  std::vector<std::size_t> block_ends;  // one past the last instruction of each open body
  const std::vector<Instruction>& instructions = program.instructions;
  for (std::size_t index = 0; index <= instructions.size(); ++index) {
    while (!block_ends.empty() && block_ends.back() == index) {
      block_ends.pop_back();
      indent(text, block_ends.size());
      text.append("}\n");
    }
    if (index == instructions.size()) break;
    indent(text, block_ends.size());
    append_instruction(text, program, instructions[index]);
    text.push_back('\n');
    if (instructions[index].kind == Kind::repeat) {
      block_ends.push_back(index + 1 + instructions[index].count);
    }
  }
  return text;
}

}  // namespace korvane::circuit
