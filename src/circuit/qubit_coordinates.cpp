#include "qubit_coordinates.h"

#include <algorithm>
#include <map>

namespace korvane::circuit {
namespace {

// Adds what the instructions [begin, end) shift coordinates by, REPEAT bodies times their count.
void add_shifts(const Program& program, std::size_t begin, std::size_t end,
                std::vector<double>& offsets, double times) {
  for (std::size_t index = begin; index < end; ++index) {
    const Instruction& instruction = program.instructions[index];
    if (instruction.kind == Kind::repeat) {
      add_shifts(program, index + 1, index + 1 + instruction.count, offsets,
                 times * static_cast<double>(program.repeat_counts[instruction.detail]));
      index += instruction.count;
    } else if (instruction.gate == gate_named("SHIFT_COORDS")) {
      const std::span<const double> shift = program.arguments_of(instruction);
      if (offsets.size() < shift.size()) offsets.resize(shift.size(), 0.0);
      for (std::size_t i = 0; i < shift.size(); ++i) offsets[i] += shift[i] * times;
    }
  }
}

}  // namespace

bool places_qubits(const Program& program) {
  return std::any_of(program.instructions.begin(), program.instructions.end(),
                     [](const Instruction& instruction) {
                       return instruction.gate == gate_named("QUBIT_COORDS");
                     });
}

std::vector<QubitCoordinate> qubit_coordinates(const Program& program) {
  std::map<std::uint32_t, QubitCoordinate> placed;
  std::vector<double> offsets;
  for (std::size_t index = 0; index < program.instructions.size(); ++index) {
    const Instruction& instruction = program.instructions[index];
    if (instruction.kind == Kind::repeat || instruction.gate == gate_named("SHIFT_COORDS")) {
      add_shifts(program, index,
                 index + 1 + (instruction.kind == Kind::repeat ? instruction.count : 0), offsets,
                 1.0);
      if (instruction.kind == Kind::repeat) index += instruction.count;
      continue;
    }
    if (instruction.gate != gate_named("QUBIT_COORDS")) continue;
    const std::span<const double> given = program.arguments_of(instruction);
    const auto coordinate = [&](std::size_t i) {
      return i < given.size() ? given[i] + (i < offsets.size() ? offsets[i] : 0.0) : 0.0;
    };
    if (given.empty()) continue;
    for (const std::uint32_t q : program.targets_of(instruction)) {
      placed[q] = {q, coordinate(0), coordinate(1)};
    }
  }
  std::vector<QubitCoordinate> result;
  result.reserve(placed.size());
  for (const auto& [q, entry] : placed) result.push_back(entry);
  return result;
}

}  // namespace korvane::circuit
