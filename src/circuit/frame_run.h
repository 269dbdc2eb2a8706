// Running a program on Pauli frames instead of a register: every frame is one run, told apart from
// a reference run (noiseless, on the register) only by its Pauli. Noise multiplies frames by its
// random Paulis and measurement flips flip recorded bits; with Noise::skipped both are left out,
// for the noiseless pass that decides which parities are deterministic.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "condition.h"
#include "event_gaps.h"
#include "pauli_frames.h"
#include "program.h"
#include "program_walk.h"
#include "record_window.h"
#include "register_run.h"
#include "seeded_generator.h"

namespace korvane::circuit {

// Working space for runs of one program on frames `words` words wide.
struct FrameScratch {
  FrameScratch(const Program& program, std::size_t words)
      : record(program.deepest_lookback, words), random(words), parity(words) {
    loops.reserve(program.deepest_nesting);
  }

  RecordWindow<FrameWord> record;  // each measurement's flips
  std::vector<OpenLoop> loops;
  std::vector<FrameWord> random;
  std::vector<FrameWord> parity;
};

// Multiplies a random half of the frames by the Pauli of `axis` on q: a stabilizer of the state
// just measured or reset, so the state is the same, but later results see fresh randomness.
inline void randomize(PauliFrames& frames, engine::Qubit q, Axis axis, SeededGenerator& generator,
                      std::vector<FrameWord>& random) {
  for (FrameWord& word : random) word = generator.next_u64();
  frames.multiply_where(q, axis, random);
}

// Makes every frame a random product of Z's, one Z or none on each qubit: the start of a run from
// |0...0>, which every such product leaves unchanged.
inline void randomize_start(PauliFrames& frames, SeededGenerator& generator) {
  for (engine::Qubit q = 0; q < frames.qubits(); ++q) {
    for (FrameWord& word : frames.x_bits(q)) word = 0;
    for (FrameWord& word : frames.z_bits(q)) word = generator.next_u64();
  }
}

// Calls visit(target, frame) for each target of a channel (in order) and each frame in which the
// channel acts; its outcome is then drawn by pick_given_event.
template <class Visit>
void for_each_event(const PauliChannel& channel, std::size_t targets, std::size_t words,
                    SeededGenerator& generator, Visit&& visit) {
  const std::uint64_t frames = std::uint64_t{64} * words;
  if (channel.is_certain()) {
    for (std::size_t target = 0; target < targets; ++target) {
      for (std::uint64_t frame = 0; frame < frames; ++frame) visit(target, frame);
    }
    return;
  }
  const EventGaps gaps(channel.probability());
  for (std::size_t target = 0; target < targets; ++target) {
    gaps.for_each_event(frames, generator, [&](std::uint64_t frame) { visit(target, frame); });
  }
}

// Runs `program` on `frames`, which the caller has started (randomize_start). `output` hears of
// each measurement's flips, measurement(flips); each detector's, detector(flips, instruction
// index), the flips written first where detector_row(spare) says (`spare` or a row of its own);
// and each observable term's, observable(observable, flips, instruction index).
//
// Draws, in the order the run meets them: for a measurement, its flips when it has a flip
// probability, then one word per frame word for its fresh stabilizer; for a reset, the latter;
// for a noise channel, target by target, the gaps between the frames it strikes, each strike
// followed by one draw for its Pauli.
template <Noise noise, class Output>
void run_on_frames(const Program& program, PauliFrames& frames, SeededGenerator& generator,
                   FrameScratch& scratch, Output& output) {
  RecordWindow<FrameWord>& record = scratch.record;
  record.restart();
  const auto channel_of = [&](std::uint32_t channel) -> const PauliChannel* {
    if constexpr (noise == Noise::skipped) {
      return nullptr;
    } else {
      if (channel == no_channel || program.channels[channel].is_silent()) return nullptr;
      return &program.channels[channel];
    }
  };
  // The flips of the parity of the recorded bits rec[-k], written to `into`.
  const auto parity_of = [&](std::span<const std::uint32_t> lookbacks, std::span<FrameWord> into) {
    if (lookbacks.empty()) {
      std::fill(into.begin(), into.end(), FrameWord{0});
      return std::span<const FrameWord>(into);
    }
    const std::span<const FrameWord> first = record.back_wide(lookbacks[0]);
    std::copy(first.begin(), first.end(), into.begin());
    for (const std::uint32_t k : lookbacks.subspan(1)) {
      const std::span<const FrameWord> flips = record.back_wide(k);
      for (std::size_t w = 0; w < flips.size(); ++w) into[w] ^= flips[w];
    }
    return std::span<const FrameWord>(into);
  };
  std::uint32_t skipped = 0;  // instructions left of the body of a condition, run as feedback
  walk(program, scratch.loops, [&](const Instruction& instruction, std::size_t index) {
    if (skipped != 0) {
      --skipped;
      return;
    }
    const std::span<const std::uint32_t> targets = program.targets_of(instruction);
    switch (instruction.kind) {
      case Kind::condition: {
        // Pauli feedback on one bit: as for CX rec[-k] q, a frame whose bit differs from the
        // reference's gains the body's Paulis.
        const std::optional<std::uint32_t> lookback = feedback_lookback(program, index);
        if (!lookback) refuse_on_frames(program, index);
        skipped = program.conditions[instruction.detail].body;
        for (std::size_t body = index + 1; body <= index + skipped; ++body) {
          const Instruction& pauli = program.instructions[body];
          if (vop_of(pauli.gate) == clifford::identity) continue;
          const auto axis = static_cast<Axis>(vop_of(pauli.gate) - 1);
          for (const std::uint32_t q : program.targets_of(pauli)) {
            frames.multiply_where(q, axis, record.back_wide(*lookback));
          }
        }
        break;
      }
      case Kind::clifford:
        for (const std::uint32_t q : targets) frames.apply_clifford(q, vop_of(instruction.gate));
        break;
      case Kind::controlled:
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          frames.apply_controlled(controlled_gate_of(instruction.gate), targets[i], targets[i + 1]);
        }
        break;
      case Kind::feedback: {
        // A run whose recorded bit differs from the reference's applies the Pauli where the
        // reference did not, or the reverse: its frame gains the Pauli.
        const auto pauli = static_cast<Axis>(target_pauli_of(instruction.gate) - 1);
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          frames.multiply_where(targets[i + 1], pauli, record.back_wide(targets[i]));
        }
        break;
      }
      case Kind::swap:
        for (std::size_t i = 0; i < targets.size(); i += 2) frames.swap(targets[i], targets[i + 1]);
        break;
      case Kind::measure:
      case Kind::measure_reset: {
        const Axis axis = axis_of(instruction.gate);
        const PauliChannel* const flip = channel_of(instruction.detail);
        for (const std::uint32_t entry : targets) {
          const std::uint32_t q = entry & ~inverted_flag;
          const std::span<FrameWord> flips = record.push_wide();
          frames.measurement_flips(q, axis, flips);
          if (flip != nullptr) {
            // The recorded bit flips, the state does not.
            for_each_event(*flip, 1, flips.size(), generator,
                           [&](std::size_t, std::uint64_t frame) {
                             flips[frame >> 6U] ^= FrameWord{1} << (frame & 63U);
                           });
          }
          output.measurement(std::span<const FrameWord>(flips));
          if (instruction.kind == Kind::measure_reset) frames.clear_flipping_part(q, axis);
          randomize(frames, q, axis, generator, scratch.random);
        }
        break;
      }
      case Kind::reset: {
        const Axis axis = axis_of(instruction.gate);
        for (const std::uint32_t q : targets) {
          frames.clear_flipping_part(q, axis);
          randomize(frames, q, axis, generator, scratch.random);
        }
        break;
      }
      case Kind::detector:
        output.detector(parity_of(targets, output.detector_row(scratch.parity)), index);
        break;
      case Kind::observable:
        output.observable(instruction.detail, parity_of(targets, scratch.parity), index);
        break;
      case Kind::pauli_noise:
        if (const PauliChannel* const channel = channel_of(instruction.detail)) {
          for_each_event(*channel, targets.size(), frames.words(), generator,
                         [&](std::size_t target, std::uint64_t frame) {
                           frames.multiply_one(targets[target],
                                               channel->pick_given_event(generator.next_u64()),
                                               frame);
                         });
        }
        break;
      case Kind::pair_noise:
        if (const PauliChannel* const channel = channel_of(instruction.detail)) {
          for_each_event(*channel, targets.size() / 2, frames.words(), generator,
                         [&](std::size_t pair, std::uint64_t frame) {
                           const unsigned paulis = channel->pick_given_event(generator.next_u64());
                           if (const unsigned first = first_pauli_of_pair(paulis); first != 0) {
                             frames.multiply_one(targets[2 * pair], first, frame);
                           }
                           if (const unsigned second = second_pauli_of_pair(paulis); second != 0) {
                             frames.multiply_one(targets[2 * pair + 1], second, frame);
                           }
                         });
        }
        break;
      case Kind::repeat:
      case Kind::annotation:
        break;
    }
  });
}

}  // namespace korvane::circuit
