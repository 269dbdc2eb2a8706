// Runs through a program's instructions in the order a run executes them, looping over REPEAT
// bodies. Shared by every runner, so that they agree on the order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "program.h"

namespace korvane::circuit {

struct OpenLoop {
  std::size_t begin;  // the body's first instruction
  std::size_t end;    // one past its last
  std::uint64_t remaining;
};

// Calls visit(instruction, index) for each instruction as a run executes it (a REPEAT's body as
// often as its count says; the REPEAT itself is not visited). `loops` is working space; with
// program.deepest_nesting reserved it never allocates.
template <class Visit>
void walk(const Program& program, std::vector<OpenLoop>& loops, Visit&& visit) {
  const std::vector<Instruction>& instructions = program.instructions;
  loops.clear();
  std::size_t index = 0;
  std::size_t end = instructions.size();
  for (;;) {
    if (index == end) {
      if (loops.empty()) return;
      OpenLoop& loop = loops.back();
      if (--loop.remaining != 0) {
        index = loop.begin;
        continue;
      }
      loops.pop_back();
      end = loops.empty() ? instructions.size() : loops.back().end;
      continue;
    }
    const Instruction& instruction = instructions[index];
    if (instruction.kind == Kind::repeat) {
      const std::size_t body_end = index + 1 + instruction.count;
      if (instruction.count != 0) {
        loops.push_back({index + 1, body_end, program.repeat_counts[instruction.detail]});
        end = body_end;
      }
      index = instruction.count != 0 ? index + 1 : body_end;
      continue;
    }
    visit(instruction, index);
    ++index;
  }
}

}  // namespace korvane::circuit
