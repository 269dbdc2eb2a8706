// Running a program on a graph-state register: each instruction becomes the engine's operations,
// with REPEAT bodies looped over and recorded bits kept as far back as the program looks.
#pragma once

#include <cstdint>
#include <vector>

#include "../engine/controlled_gates.h"
#include "../engine/measure.h"
#include "../engine/register.h"
#include "condition.h"
#include "program.h"
#include "program_walk.h"
#include "record_window.h"
#include "seeded_generator.h"

namespace korvane::circuit {

enum class Noise : std::uint8_t { applied, skipped };

// Working space for runs of one program, reused from run to run.
struct RunScratch {
  explicit RunScratch(const Program& program) : record(program.deepest_lookback) {
    loops.reserve(program.deepest_nesting);
  }

  RecordWindow<std::uint8_t> record;
  std::vector<OpenLoop> loops;
};

// The Pauli that returns a -1 outcome of a measurement on `axis` to +1: X for Z and Y, Z for X.
constexpr Vop reset_flip(Axis axis) {
  return axis == Axis::X ? clifford::pauli_z : clifford::pauli_x;
}

// Runs `program` once on `reg`, whose size the caller has checked against program.num_qubits.
// Randomness is drawn from `source` in the order the run needs it: a 32-bit word for each random
// measurement outcome (resets included), then, with noise applied, one 64-bit draw for each
// target of a measurement with a flip probability, of a single-qubit channel, and for each pair
// of DEPOLARIZE2, except where the probability is 0.
//
// `output` hears of each recorded bit, measurement(bit); and, when Output::wants_parities, of each
// detector's parity, detector(parity), and each observable term, observable(index, parity).
template <Noise noise, class Source, class Output>
void run_on_register(const Program& program, engine::Register& reg, Source& source,
                     RunScratch& scratch, Output& output) {
  RecordWindow<std::uint8_t>& record = scratch.record;
  record.restart();
  const auto draws_from = [&](std::uint32_t channel) -> const PauliChannel* {
    if constexpr (noise == Noise::skipped) {
      return nullptr;
    } else {
      if (channel == no_channel || program.channels[channel].is_silent()) return nullptr;
      return &program.channels[channel];
    }
  };
  const auto parity = [&](std::span<const std::uint32_t> lookbacks) {
    bool total = false;
    for (const std::uint32_t k : lookbacks) total ^= record.back(k) != 0;
    return total;
  };
  std::uint32_t skipped = 0;  // instructions left of the body of a condition that failed
  walk(program, scratch.loops, [&](const Instruction& instruction, std::size_t) {
    if (skipped != 0) {
      --skipped;
      return;
    }
    const std::span<const std::uint32_t> targets = program.targets_of(instruction);
    switch (instruction.kind) {
      case Kind::repeat:  // walk() loops over REPEAT bodies itself
      case Kind::annotation:
        break;
      case Kind::condition: {
        const Condition& condition = program.conditions[instruction.detail];
        if (!condition_holds(targets, condition,
                             [&](std::uint32_t k) { return record.back(k) != 0; })) {
          skipped = condition.body;
        }
        break;
      }
      case Kind::clifford: {
        const Vop gate = vop_of(instruction.gate);
        for (const std::uint32_t q : targets) reg.apply_clifford(q, gate);
        break;
      }
      case Kind::controlled: {
        const engine::ControlledGate gate = controlled_gate_of(instruction.gate);
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          // CZ needs no change of basis around it.
          if (gate == engine::ControlledGate::cz) {
            engine::cz(reg, targets[i], targets[i + 1]);
          } else {
            engine::apply_controlled_gate(reg, gate, targets[i], targets[i + 1]);
          }
        }
        break;
      }
      case Kind::feedback: {
        const Vop pauli = target_pauli_of(instruction.gate);
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          if (record.back(targets[i]) != 0) reg.apply_clifford(targets[i + 1], pauli);
        }
        break;
      }
      case Kind::swap:
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          engine::apply_controlled_gate(reg, engine::ControlledGate::cx, targets[i],
                                        targets[i + 1]);
          engine::apply_controlled_gate(reg, engine::ControlledGate::cx, targets[i + 1],
                                        targets[i]);
          engine::apply_controlled_gate(reg, engine::ControlledGate::cx, targets[i],
                                        targets[i + 1]);
        }
        break;
      case Kind::measure:
      case Kind::measure_reset: {
        const Axis axis = axis_of(instruction.gate);
        const PauliChannel* const flip = draws_from(instruction.detail);
        const bool resets = instruction.kind == Kind::measure_reset;
        for (const std::uint32_t entry : targets) {
          const std::uint32_t q = entry & ~inverted_flag;
          const bool outcome = engine::measure(reg, q, axis, source);
          bool bit = outcome != ((entry & inverted_flag) != 0);
          if (flip != nullptr && flip->pick(draw_u64(source)) != 0) bit = !bit;
          record.push(bit ? 1 : 0);
          output.measurement(bit);
          if (resets && outcome) reg.apply_clifford(q, reset_flip(axis));
        }
        break;
      }
      case Kind::reset: {
        const Axis axis = axis_of(instruction.gate);
        for (const std::uint32_t q : targets) {
          if (engine::measure(reg, q, axis, source)) reg.apply_clifford(q, reset_flip(axis));
        }
        break;
      }
      case Kind::pauli_noise:
        if (const PauliChannel* const channel = draws_from(instruction.detail)) {
          for (const std::uint32_t q : targets) {
            const unsigned pauli = channel->pick(draw_u64(source));
            if (pauli != 0) reg.apply_clifford(q, static_cast<Vop>(pauli));
          }
        }
        break;
      case Kind::pair_noise:
        if (const PauliChannel* const channel = draws_from(instruction.detail)) {
          for (std::size_t i = 0; i < targets.size(); i += 2) {
            const unsigned pair = channel->pick(draw_u64(source));
            if (pair == 0) continue;
            reg.apply_clifford(targets[i], static_cast<Vop>(first_pauli_of_pair(pair)));
            reg.apply_clifford(targets[i + 1], static_cast<Vop>(second_pauli_of_pair(pair)));
          }
        }
        break;
      case Kind::detector:
      case Kind::observable:
        if constexpr (Output::wants_parities) {
          const bool value = parity(targets);
          if (instruction.kind == Kind::detector) {
            output.detector(value);
          } else {
            output.observable(instruction.detail, value);
          }
        }
        break;
    }
  });
}

}  // namespace korvane::circuit
