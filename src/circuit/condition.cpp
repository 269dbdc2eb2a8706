#include "condition.h"

#include "../engine/base.h"

namespace korvane::circuit {
namespace {

bool is_pauli_instruction(const Instruction& instruction) {
  return instruction.kind == Kind::clifford && vop_of(instruction.gate) <= clifford::pauli_z;
}

}  // namespace

std::optional<std::uint32_t> feedback_lookback(const Program& program, std::size_t index) {
  const Instruction& instruction = program.instructions[index];
  if (instruction.count != 1) return std::nullopt;
  const Condition& condition = program.conditions[instruction.detail];
  for (std::size_t body = index + 1; body <= index + condition.body; ++body) {
    if (!is_pauli_instruction(program.instructions[body])) return std::nullopt;
  }
  return program.targets_of(instruction)[0] & ~expects_one_flag;
}

std::optional<std::string> frames_refusal(const Program& program, std::size_t index) {
  if (feedback_lookback(program, index)) return std::nullopt;
  const Instruction& instruction = program.instructions[index];
  if (instruction.count != 1) {
    return "the condition reads " + std::to_string(instruction.count) + " recorded bits";
  }
  const Condition& condition = program.conditions[instruction.detail];
  for (std::size_t body = index + 1; body <= index + condition.body; ++body) {
    if (!is_pauli_instruction(program.instructions[body])) {
      return "the condition governs " + std::string(gate_of(program.instructions[body].gate).name) +
             ", which is not a Pauli";
    }
  }
  return std::nullopt;
}

void refuse_on_frames(const Program& program, std::size_t index) {
  throw engine::InvalidInput(
      "line " + std::to_string(program.lines[index]) +
      ": method='frames' cannot run this if(): " + frames_refusal(program, index).value_or("") +
      "; frames take only Pauli gates conditioned on one recorded bit, and "
      "method='shots' runs it exactly");
}

void check_frames_can_run(const Program& program) {
  for (std::size_t index = 0; index < program.instructions.size(); ++index) {
    if (program.instructions[index].kind == Kind::condition && frames_refusal(program, index)) {
      refuse_on_frames(program, index);
    }
  }
}

}  // namespace korvane::circuit
