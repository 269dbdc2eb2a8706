#include "printer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "../../engine/base.h"
#include "../condition.h"
#include "../pauli_products.h"
#include "number_text.h"

namespace korvane::circuit {
namespace {

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
  if (gate_of(instruction.gate).targets == Targets::pauli_products) {
    text.push_back(' ');
    text.append(factors_text(targets));
    return;
  }
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
      case Kind::measure_product:  // MXX, MYY, MZZ: pairs of factors of the gate's axis
        if ((entry & inverted_flag) != 0) text.push_back('!');
        append_unsigned(text, factor_qubit(entry));
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

// A condition that is Pauli feedback on one bit, as CX/CY/CZ rec[-k] q lines (after the Paulis
// themselves where the condition asks for a 0); returns the body's size, which it has written.
std::size_t append_condition(std::string& text, const Program& program, std::size_t index) {
  const std::optional<std::uint32_t> lookback = feedback_lookback(program, index);
  if (!lookback) {
    throw engine::InvalidInput(
        "line " + std::to_string(program.lines[index]) +
        ": the circuit text format cannot write this if(): " +
        frames_refusal(program, index).value_or("") +
        " (it writes only Pauli feedback on one recorded bit); to_qasm() writes it");
  }
  const Instruction& instruction = program.instructions[index];
  const Condition& condition = program.conditions[instruction.detail];
  const bool on_one =
      ((program.targets_of(instruction)[0] & expects_one_flag) != 0) != condition.negated;
  constexpr std::array<std::string_view, 3> feedback_gates{"CX", "CY", "CZ"};
  for (std::size_t body = index + 1; body <= index + condition.body; ++body) {
    const Instruction& pauli = program.instructions[body];
    const Vop vop = vop_of(pauli.gate);
    if (vop == clifford::identity) continue;
    const std::span<const std::uint32_t> qubits = program.targets_of(pauli);
    if (!on_one) {
      text.append(gate_of(pauli.gate).name);
      for (const std::uint32_t q : qubits) {
        text.push_back(' ');
        append_unsigned(text, q);
      }
      text.push_back('\n');
    }
    text.append(feedback_gates[vop - 1]);
    for (const std::uint32_t q : qubits) {
      text.push_back(' ');
      append_record(text, *lookback);
      text.push_back(' ');
      append_unsigned(text, q);
    }
    text.push_back('\n');
  }
  return condition.body;
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
    if (instructions[index].kind == Kind::condition) {
      index += append_condition(text, program, index);
      continue;
    }
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
