// Running a program on Pauli frames instead of a register: every frame is one run, told apart from
// a reference run only by its Pauli. Noise channels and measurement flips are skipped here: this
// is the noiseless pass that decides which parities are deterministic.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pauli_frames.h"
#include "program.h"
#include "program_walk.h"
#include "record_window.h"
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

// Gives every frame a random Z on every qubit: the start of a run from |0...0>.
inline void randomize_start(PauliFrames& frames, SeededGenerator& generator) {
  for (engine::Qubit q = 0; q < frames.qubits(); ++q) {
    for (FrameWord& word : frames.z_bits(q)) word = generator.next_u64();
  }
}

// Runs the noiseless `program` on `frames`. `output` hears of each measurement's flips,
// measurement(flips); each detector's, detector(flips, instruction index); and each observable
// term's, observable(observable, flips, instruction index).
template <class Output>
void run_on_frames(const Program& program, PauliFrames& frames, SeededGenerator& generator,
                   FrameScratch& scratch, Output& output) {
  RecordWindow<FrameWord>& record = scratch.record;
  record.restart();
  const auto parity_of = [&](std::span<const std::uint32_t> lookbacks) {
    std::fill(scratch.parity.begin(), scratch.parity.end(), FrameWord{0});
    for (const std::uint32_t k : lookbacks) {
      const std::span<const FrameWord> flips = record.back_wide(k);
      for (std::size_t w = 0; w < flips.size(); ++w) scratch.parity[w] ^= flips[w];
    }
    return std::span<const FrameWord>(scratch.parity);
  };
  walk(program, scratch.loops, [&](const Instruction& instruction, std::size_t index) {
    const std::span<const std::uint32_t> targets = program.targets_of(instruction);
    switch (instruction.kind) {
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
        for (const std::uint32_t entry : targets) {
          const std::uint32_t q = entry & ~inverted_flag;
          const std::span<FrameWord> flips = record.push_wide();
          frames.measurement_flips(q, axis, flips);
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
        output.detector(parity_of(targets), index);
        break;
      case Kind::observable:
        output.observable(instruction.detail, parity_of(targets), index);
        break;
      case Kind::pauli_noise:
      case Kind::pair_noise:
      case Kind::repeat:
      case Kind::annotation:
        break;
    }
  });
}

}  // namespace korvane::circuit
