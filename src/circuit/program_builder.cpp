#include "program_builder.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "../engine/base.h"

namespace korvane::circuit {

std::uint32_t ProgramBuilder::lookback(std::uint64_t record_index) {
  const std::uint64_t k = program_.num_measurements - record_index;
  if (record_index >= program_.num_measurements || k > max_lookback) {
    throw engine::InvalidInput("a condition reads a recorded bit out of reach");
  }
  program_.deepest_lookback = std::max(program_.deepest_lookback, static_cast<std::uint32_t>(k));
  return static_cast<std::uint32_t>(k);
}

void ProgramBuilder::push(GateId gate, Kind kind, std::span<const std::uint32_t> entries,
                          std::uint32_t detail, std::uint32_t line) {
  if (program_.targets.size() + entries.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw engine::InvalidInput("line " + std::to_string(line) +
                               ": the circuit has more than 2^32 targets");
  }
  Instruction instruction{gate, kind};
  instruction.first = static_cast<std::uint32_t>(program_.targets.size());
  instruction.count = static_cast<std::uint32_t>(entries.size());
  instruction.first_argument = static_cast<std::uint32_t>(program_.arguments.size());
  instruction.detail = detail;
  program_.targets.insert(program_.targets.end(), entries.begin(), entries.end());
  program_.instructions.push_back(instruction);
  program_.lines.push_back(line);
  program_.operations += std::max<std::size_t>(entries.size(), 1);
}

void ProgramBuilder::add(GateId gate, std::span<const std::uint32_t> targets, std::uint32_t line) {
  const Kind kind = gate_of(gate).kind;
  for (const std::uint32_t entry : targets) {
    program_.num_qubits =
        std::max<std::size_t>(program_.num_qubits, std::size_t{entry & ~inverted_flag} + 1);
  }
  const bool measures = kind == Kind::measure || kind == Kind::measure_reset;
  push(gate, kind, targets, measures ? no_channel : 0, line);
  if (measures) program_.num_measurements += targets.size();
}

void ProgramBuilder::begin_condition(std::span<const ExpectedBit> bits, bool negated,
                                     std::uint32_t line) {
  std::vector<std::uint32_t> entries;
  entries.reserve(bits.size());
  for (const ExpectedBit& bit : bits) {
    entries.push_back(lookback(bit.record_index) | (bit.value ? expects_one_flag : 0U));
  }
  program_.conditions.push_back({0, negated});
  open_condition_ = program_.instructions.size();
  condition_open_ = true;
  push(gate_named("TICK"), Kind::condition, entries,
       static_cast<std::uint32_t>(program_.conditions.size() - 1), line);
}

void ProgramBuilder::end_condition() {
  if (!condition_open_) return;
  condition_open_ = false;
  const Instruction& condition = program_.instructions[open_condition_];
  program_.conditions[condition.detail].body =
      static_cast<std::uint32_t>(program_.instructions.size() - open_condition_ - 1);
}

Program ProgramBuilder::finish(std::size_t qubits) {
  end_condition();
  program_.num_qubits = std::max(program_.num_qubits, qubits);
  return std::move(program_);
}

}  // namespace korvane::circuit
