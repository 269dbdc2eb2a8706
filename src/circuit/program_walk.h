// Runs through a program's instructions in the order a run executes them, looping over REPEAT
// bodies, and hands each to the runner's step for its kind. Shared by every runner, so that they
// agree on the order and on which step an instruction takes.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "../engine/stop_check.h"
#include "program.h"

namespace korvane::circuit {

// The bits that one application of `instruction` records: one per measured qubit, per measured
// product, per padded bit and per herald.
inline std::uint64_t recorded_bits(const Program& program, const Instruction& instruction) {
  switch (instruction.kind) {
    case Kind::measure:
    case Kind::measure_reset:
    case Kind::pad:
    case Kind::heralded_noise:
      return instruction.count;
    case Kind::measure_product: {
      std::uint64_t products = 0;
      for (const std::uint32_t entry : program.targets_of(instruction))
        products += (entry & joined_flag) == 0 ? 1 : 0;
      return products;
    }
    default:
      return 0;
  }
}

struct OpenLoop {
  std::size_t begin;  // the body's first instruction
  std::size_t end;    // one past its last
  std::uint64_t remaining;
};

// Calls visit(instruction, index) for each instruction as a run executes it (a REPEAT's body as
// often as its count says; the REPEAT itself is not visited). `loops` is working space; with
// program.deepest_nesting reserved it never allocates. Before each instruction, and at each
// repetition of a body, `pacer` counts the work, so that a StopCheck can stop the run there
// (engine::Interrupted) between whole instructions.
template <class Visit>
void walk(const Program& program, std::vector<OpenLoop>& loops, engine::StopPacer& pacer,
          Visit&& visit) {
  const std::vector<Instruction>& instructions = program.instructions;
  loops.clear();
  std::size_t index = 0;
  std::size_t end = instructions.size();
  for (;;) {
    if (index == end) {
      if (loops.empty()) return;
      OpenLoop& loop = loops.back();
      pacer.count(1);
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
    pacer.count(std::uint64_t{instruction.count} + 1);
    visit(instruction, index);
    ++index;
  }
}

// Whether a run applies the circuit's noise (and its measurements' flips), or leaves it out as
// the noiseless reference runs do.
enum class Noise : std::uint8_t { applied, skipped };

// The channel of a noise instruction, or a measurement's flip, where a run draws for it: null
// without noise, for no_channel, and for a channel that never acts.
template <Noise noise>
const PauliChannel* channel_drawn(const Program& program, std::uint32_t channel) {
  if constexpr (noise == Noise::skipped) {
    return nullptr;
  } else {
    if (channel == no_channel || program.channels[channel].is_silent()) return nullptr;
    return &program.channels[channel];
  }
}

// One instruction as a run meets it.
struct Step {
  const Instruction& instruction;
  std::span<const std::uint32_t> targets;
  std::size_t index;  // its place in program.instructions, for messages
};

// A runner takes one step per kind of instruction (Kind, gates/gate.h); REPEAT and the annotations
// take none.
template <class Runner>
concept InstructionRunner = requires(Runner& runner, const Step& step) {
  runner.clifford(step);
  runner.controlled(step);
  runner.feedback(step);
  runner.swap(step);
  runner.pair_clifford(step);
  runner.measure(step);
  runner.reset(step);
  runner.measure_reset(step);
  runner.measure_product(step);
  runner.product_phase(step);
  runner.pad(step);
  runner.pauli_noise(step);
  runner.pair_noise(step);
  runner.heralded_noise(step);
  runner.detector(step);
  runner.observable(step);
  { runner.condition(step) } -> std::convertible_to<bool>;
};

// Runs `program` once through `runner`, in the order of walk(), paced by `pacer`.
// A condition's step says whether its body runs; a body never holds a REPEAT, so skipping its
// instructions as walk() hands them over skips the body.
template <InstructionRunner Runner>
void run_program(const Program& program, std::vector<OpenLoop>& loops, engine::StopPacer& pacer,
                 Runner& runner) {
  std::uint32_t skipped = 0;
  walk(program, loops, pacer, [&](const Instruction& instruction, std::size_t index) {
    if (skipped != 0) {
      --skipped;
      return;
    }
    const Step step{instruction, program.targets_of(instruction), index};
    // Gates, the commonest kinds, are told apart by two tests: a jump through the table of every
    // kind is dearer where gates of both kinds alternate unpredictably.
    if (instruction.kind == Kind::clifford) return runner.clifford(step);
    if (instruction.kind == Kind::controlled) return runner.controlled(step);
    switch (instruction.kind) {
      case Kind::condition:
        if (!runner.condition(step)) skipped = program.conditions[instruction.detail].body;
        return;
      case Kind::clifford:
        return runner.clifford(step);
      case Kind::controlled:
        return runner.controlled(step);
      case Kind::feedback:
        return runner.feedback(step);
      case Kind::swap:
        return runner.swap(step);
      case Kind::pair_clifford:
        return runner.pair_clifford(step);
      case Kind::measure:
        return runner.measure(step);
      case Kind::reset:
        return runner.reset(step);
      case Kind::measure_reset:
        return runner.measure_reset(step);
      case Kind::measure_product:
        return runner.measure_product(step);
      case Kind::product_phase:
        return runner.product_phase(step);
      case Kind::pad:
        return runner.pad(step);
      case Kind::pauli_noise:
        return runner.pauli_noise(step);
      case Kind::pair_noise:
        return runner.pair_noise(step);
      case Kind::heralded_noise:
        return runner.heralded_noise(step);
      case Kind::detector:
        return runner.detector(step);
      case Kind::observable:
        return runner.observable(step);
      case Kind::repeat:  // walk() loops over REPEAT bodies itself
      case Kind::annotation:
        return;
    }
  });
}

}  // namespace korvane::circuit
