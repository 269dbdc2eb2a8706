// Builds a Program one instruction at a time, for readers of other languages than the text
// format: the counts, the deepest look-back and the source lines are kept as the parser keeps
// them. The reader has checked its targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "program.h"

namespace korvane::circuit {

// A recorded bit a condition reads, by its place in the record (0 = the first measurement), and
// the value the condition expects of it.
struct ExpectedBit {
  std::uint64_t record_index;
  bool value;
};

class ProgramBuilder {
 public:
  // `gate` on `targets`: qubits (pairs for two-qubit gates), or measured qubits.
  void add(GateId gate, std::span<const std::uint32_t> targets, std::uint32_t line);
  // A condition on `bits`, which governs the instructions added until end_condition().
  void begin_condition(std::span<const ExpectedBit> bits, bool negated, std::uint32_t line);
  void end_condition();

  std::uint64_t recorded() const { return program_.num_measurements; }
  std::size_t instruction_count() const { return program_.instructions.size(); }

  // The program, on at least `qubits` qubits.
  Program finish(std::size_t qubits);

 private:
  void push(GateId gate, Kind kind, std::span<const std::uint32_t> entries, std::uint32_t detail,
            std::uint32_t line);
  std::uint32_t lookback(std::uint64_t record_index);

  Program program_;
  std::size_t open_condition_ = 0;  // the instruction index of the open condition
  bool condition_open_ = false;
};

}  // namespace korvane::circuit
