// Running a program on Pauli frames instead of a register: every frame is one run, told apart from
// a reference run (noiseless, on the register) only by its Pauli. Noise multiplies frames by its
// random Paulis and measurement flips flip recorded bits; with Noise::skipped both are left out,
// for the noiseless pass that decides which parities are deterministic.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "../../engine/random/seeded_generator.h"
#include "../condition.h"
#include "../pauli_products.h"
#include "../program.h"
#include "../program_walk.h"
#include "event_gaps.h"
#include "frame_products.h"
#include "pauli_frames.h"
#include "record_window.h"

namespace korvane::circuit {

// What a run on frames reports: each measurement's flips, measurement(flips); each detector's,
// detector(flips, instruction index), the flips written first where detector_row(spare) says
// (`spare` or a row of its own); and each observable term's, observable(observable, flips,
// instruction index).
template <class Output>
concept FlipOutput = requires(Output& output, std::span<const Word> flips, std::span<Word> spare,
                              std::uint32_t observable, std::size_t index) {
  output.measurement(flips);
  { output.detector_row(spare) } -> std::same_as<std::span<Word>>;
  output.detector(flips, index);
  output.observable(observable, flips, index);
};

// Working space for runs of one program on frames `words` words wide; `stop` may stop them. The
// draws follow a block `stream_words` wide (at least `words`): the frames kept are the first
// `words` words of such a block, and the draws for the rest are made and dropped, so that a
// narrow block gives exactly the first shots of a wide one.
struct FrameScratch {
  FrameScratch(const Program& program, std::size_t words, std::size_t stream_words,
               engine::StopCheck* stop = nullptr)
      : record(program.deepest_lookback, words), random(stream_words), parity(words), pacer(stop) {
    loops.reserve(program.deepest_nesting);
  }

  std::size_t stream_words() const noexcept { return random.size(); }

  RecordWindow<Word> record;  // each measurement's flips
  std::vector<OpenLoop> loops;
  std::vector<Word> random;  // stream_words wide
  std::vector<Word> parity;
  ProductScratch products;
  engine::StopPacer pacer;
};

// Multiplies a random half of the frames by the Pauli of `axis` on q: a stabilizer of the state
// just measured or reset, so the state is the same, but later results see fresh randomness.
// Draws a word for each word of `random`, the stream's width.
inline void randomize(PauliFrames& frames, engine::Qubit q, Axis axis,
                      engine::SeededGenerator& generator, std::vector<Word>& random) {
  for (Word& word : random) word = generator.next_u64();
  frames.multiply_where(q, axis, std::span<const Word>(random).first(frames.words()));
}

// Makes every frame a random product of Z's, one Z or none on each qubit: the start of a run from
// |0...0>, which every such product leaves unchanged. Draws `stream_words` words a qubit.
inline void randomize_start(PauliFrames& frames, engine::SeededGenerator& generator,
                            std::size_t stream_words) {
  for (engine::Qubit q = 0; q < frames.qubits(); ++q) {
    for (Word& word : frames.x_bits(q)) word = 0;
    for (Word& word : frames.z_bits(q)) word = generator.next_u64();
    for (std::size_t w = frames.words(); w < stream_words; ++w) generator.next_u64();
  }
}

// Calls visit(target, frame) for each target of a channel (in order) and each frame in which the
// channel acts; its outcome is then drawn by pick_given_event.
template <class Visit>
void for_each_event(const PauliChannel& channel, std::size_t targets, std::size_t words,
                    engine::SeededGenerator& generator, Visit&& visit) {
  const std::uint64_t frames = engine::word_bits * words;
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

// The steps of a run on frames (program_walk.h), one per kind of instruction.
template <Noise noise, FlipOutput Output>
class FrameRun {
 public:
  FrameRun(const Program& program, PauliFrames& frames, engine::SeededGenerator& generator,
           FrameScratch& scratch, Output& output)
      : program_(program),
        frames_(frames),
        generator_(generator),
        scratch_(scratch),
        record_(scratch.record),
        output_(output),
        kept_(engine::word_bits * frames.words()) {}

  void clifford(const Step& step) {
    const Vop gate = vop_of(step.instruction.gate);
    for (const std::uint32_t q : step.targets) frames_.apply_clifford(q, gate);
  }

  void controlled(const Step& step) {
    const engine::ControlledPauli gate = gate_of(step.instruction.gate).controlled;
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      frames_.apply_controlled(gate, step.targets[i], step.targets[i + 1]);
    }
  }

  // A run whose recorded bit differs from the reference's applies the Pauli where the reference
  // did not, or the reverse: its frame gains the Pauli.
  void feedback(const Step& step) {
    const auto pauli =
        static_cast<Axis>(static_cast<unsigned>(feedback_pauli_of(step.instruction.gate)) - 1);
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      frames_.multiply_where(step.targets[i + 1], pauli, record_.back_wide(step.targets[i]));
    }
  }

  void swap(const Step& step) {
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      frames_.swap(step.targets[i], step.targets[i + 1]);
    }
  }

  void pair_clifford(const Step& step) {
    const PairImages images = pair_images(step.instruction.gate);
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      apply_pair_clifford(frames_, step.targets[i], step.targets[i + 1], images);
    }
  }

  // Pauli feedback on one bit, as for CX rec[-k] q: a frame whose bit differs from the
  // reference's gains the body's Paulis. The body is done then: the step says not to run it.
  bool condition(const Step& step) {
    const std::optional<std::uint32_t> lookback = feedback_lookback(program_, step.index);
    if (!lookback) refuse_on_frames(program_, step.index);
    const std::uint32_t body = program_.conditions[step.instruction.detail].body;
    for (std::size_t index = step.index + 1; index <= step.index + body; ++index) {
      const Instruction& pauli = program_.instructions[index];
      if (vop_of(pauli.gate) == clifford::identity) continue;
      const auto axis = static_cast<Axis>(vop_of(pauli.gate) - 1);
      for (const std::uint32_t q : program_.targets_of(pauli)) {
        frames_.multiply_where(q, axis, record_.back_wide(*lookback));
      }
    }
    return false;
  }

  void measure(const Step& step) { record_flips(step, false); }
  void measure_reset(const Step& step) { record_flips(step, true); }

  void reset(const Step& step) {
    const Axis axis = gate_of(step.instruction.gate).axis;
    for (const std::uint32_t q : step.targets) {
      frames_.clear_flipping_part(q, axis);
      randomize(frames_, q, axis, generator_, scratch_.random);
    }
  }

  // Each product's flips, as a measurement's; then a random half of the frames gain the product,
  // which stabilizes the state just measured.
  void measure_product(const Step& step) {
    const PauliChannel* const flip = channel_drawn<noise>(program_, step.instruction.detail);
    for_each_product(step.targets, [&](std::span<const std::uint32_t> factors) {
      const engine::PauliProduct& product = hermitian_product(factors, scratch_.products);
      const std::span<Word> flips = record_.push_wide();
      product_flips(frames_, product, flips);
      flip_at_random(flips, flip);
      output_.measurement(std::span<const Word>(flips));
      if (product.factors.empty()) return;
      for (Word& word : scratch_.random) word = generator_.next_u64();
      multiply_product_where(frames_, product, frame_words());
    });
  }

  void product_phase(const Step& step) {
    for_each_product(step.targets, [&](std::span<const std::uint32_t> factors) {
      apply_product_phase(frames_, hermitian_product(factors, scratch_.products), frame_words());
    });
  }

  // The reference records the written bits: frames differ from it only by the flips.
  void pad(const Step& step) {
    const PauliChannel* const flip = channel_drawn<noise>(program_, step.instruction.detail);
    for (std::size_t i = 0; i < step.targets.size(); ++i) {
      const std::span<Word> flips = record_.push_wide();
      std::fill(flips.begin(), flips.end(), Word{0});
      flip_at_random(flips, flip);
      output_.measurement(std::span<const Word>(flips));
    }
  }

  // The reference records no herald: a frame where the channel acts records 1 and gains the
  // outcome's Pauli (none for the false herald).
  void heralded_noise(const Step& step) {
    const PauliChannel* const channel = channel_drawn<noise>(program_, step.instruction.detail);
    for (const std::uint32_t q : step.targets) {
      const std::span<Word> heralds = record_.push_wide();
      std::fill(heralds.begin(), heralds.end(), Word{0});
      if (channel != nullptr) {
        for_each_event(*channel, 1, scratch_.stream_words(), generator_,
                       [&](std::size_t, std::uint64_t frame) {
                         const unsigned outcome = channel->pick_given_event(generator_.next_u64());
                         if (frame >= kept_) return;
                         heralds[engine::word_of(frame)] ^= engine::bit_of(frame);
                         if (outcome > 1) frames_.multiply_one(q, outcome - 1, frame);
                       });
      }
      output_.measurement(std::span<const Word>(heralds));
    }
  }

  void pauli_noise(const Step& step) {
    const PauliChannel* const channel = channel_drawn<noise>(program_, step.instruction.detail);
    if (channel == nullptr) return;
    for_each_event(*channel, step.targets.size(), scratch_.stream_words(), generator_,
                   [&](std::size_t target, std::uint64_t frame) {
                     const unsigned pauli = channel->pick_given_event(generator_.next_u64());
                     if (frame < kept_) frames_.multiply_one(step.targets[target], pauli, frame);
                   });
  }

  void pair_noise(const Step& step) {
    const PauliChannel* const channel = channel_drawn<noise>(program_, step.instruction.detail);
    if (channel == nullptr) return;
    for_each_event(*channel, step.targets.size() / 2, scratch_.stream_words(), generator_,
                   [&](std::size_t pair, std::uint64_t frame) {
                     const unsigned paulis = channel->pick_given_event(generator_.next_u64());
                     if (frame >= kept_) return;
                     if (const unsigned first = first_pauli_of_pair(paulis); first != 0) {
                       frames_.multiply_one(step.targets[2 * pair], first, frame);
                     }
                     if (const unsigned second = second_pauli_of_pair(paulis); second != 0) {
                       frames_.multiply_one(step.targets[2 * pair + 1], second, frame);
                     }
                   });
  }

  void detector(const Step& step) {
    output_.detector(parity_of(step.targets, output_.detector_row(scratch_.parity)), step.index);
  }

  void observable(const Step& step) {
    output_.observable(step.instruction.detail, parity_of(step.targets, scratch_.parity),
                       step.index);
  }

 private:
  // The flips of the parity of the recorded bits rec[-k], written to `into`.
  std::span<const Word> parity_of(std::span<const std::uint32_t> lookbacks,
                                  std::span<Word> into) const {
    if (lookbacks.empty()) {
      std::fill(into.begin(), into.end(), Word{0});
      return into;
    }
    const std::span<const Word> first = record_.back_wide(lookbacks[0]);
    std::copy(first.begin(), first.end(), into.begin());
    for (const std::uint32_t k : lookbacks.subspan(1)) {
      const std::span<const Word> flips = record_.back_wide(k);
      for (std::size_t w = 0; w < flips.size(); ++w) into[w] ^= flips[w];
    }
    return into;
  }

  // Flips the recorded bit in the frames kept where the measurement's noise `flip` strikes.
  void flip_at_random(std::span<Word> flips, const PauliChannel* flip) {
    if (flip == nullptr) return;
    for_each_event(*flip, 1, scratch_.stream_words(), generator_,
                   [&](std::size_t, std::uint64_t frame) {
                     if (frame < kept_) flips[engine::word_of(frame)] ^= engine::bit_of(frame);
                   });
  }

  // The first frames.words() words of the random stream's buffer.
  std::span<Word> frame_words() { return std::span(scratch_.random).first(frames_.words()); }

  // Records each target's flips (the recorded bit flips with the measurement's noise, the state
  // does not), clears what an MR's reset removes, and gives the qubit a fresh random stabilizer.
  void record_flips(const Step& step, bool resets) {
    const Axis axis = gate_of(step.instruction.gate).axis;
    const PauliChannel* const flip = channel_drawn<noise>(program_, step.instruction.detail);
    for (const std::uint32_t entry : step.targets) {
      const std::uint32_t q = entry & ~inverted_flag;
      const std::span<Word> flips = record_.push_wide();
      frames_.measurement_flips(q, axis, flips);
      flip_at_random(flips, flip);
      output_.measurement(std::span<const Word>(flips));
      if (resets) frames_.clear_flipping_part(q, axis);
      randomize(frames_, q, axis, generator_, scratch_.random);
    }
  }

  const Program& program_;
  PauliFrames& frames_;
  engine::SeededGenerator& generator_;
  FrameScratch& scratch_;
  RecordWindow<Word>& record_;
  Output& output_;
  std::uint64_t kept_;  // the frames kept; the block's draws may reach beyond them
};

// Runs `program` on `frames`, which the caller has started (randomize_start), reporting to
// `output` (FlipOutput).
//
// Draws, in the order the run meets them: for a measurement (of a qubit or a product), its flips
// when it has a flip probability, then one 64-bit draw per stream word for its fresh stabilizer
// (none for a product of no factors); for a reset, the latter; for MPAD, the flips; for a noise
// channel, heralded or not, target by target, the gaps between the frames it strikes, each strike
// followed by one draw for its Pauli.
template <Noise noise, FlipOutput Output>
void run_on_frames(const Program& program, PauliFrames& frames, engine::SeededGenerator& generator,
                   FrameScratch& scratch, Output& output) {
  scratch.record.restart();
  FrameRun<noise, Output> run(program, frames, generator, scratch, output);
  run_program(program, scratch.loops, scratch.pacer, run);
}

}  // namespace korvane::circuit
