// Sampling by Pauli frames: one noiseless reference run on the graph engine, then a frame per shot
// pushed through the circuit, 64 shots a word, in blocks of shots whose frames fit in a few
// megabytes, each block's results written out as it finishes. A shot's recorded bit is the
// reference's XOR its frame's flip; a detector's or observable's value relative to the noiseless
// circuit is its frames' parity alone.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "../../engine/random/seeded_generator.h"
#include "../program.h"
#include "../run/frame_run.h"
#include "../run/pauli_frames.h"
#include "row_layout.h"

namespace korvane::circuit {

// Shots in blocks of block_shots(), a multiple of 64. Every block is run whole, drawing from the
// generator where the previous block stopped, and the shots beyond the ones asked for are dropped:
// n shots are the first n of any longer sample with the same seed, as long as calls ask for whole
// blocks but the last.
class FrameSampler {
 public:
  // Blocks of frame_block_words(program) words, or of as few whole words as `shots` need: a
  // narrower block draws as the full one does and keeps its first shots, so the shots are the same
  // either way, and a few shots cost a few words. `stop` may stop the work (engine::Interrupted)
  // between whole instructions.
  explicit FrameSampler(const Program& program,
                        std::uint64_t shots = std::numeric_limits<std::uint64_t>::max(),
                        engine::StopCheck* stop = nullptr);

  std::uint64_t block_shots() const noexcept { return engine::word_bits * words_; }
  std::size_t block_words() const noexcept { return words_; }

  // Row s of `records` (num_measurements bits laid out as `layout` says) receives shot s's
  // measurement record; `reference` is the record of a noiseless run (reference.h).
  void sample_measurements(std::uint64_t shots, std::span<const std::uint8_t> reference,
                           engine::SeededGenerator& generator, std::uint8_t* records,
                           RowLayout layout = RowLayout::bytes);

  // Takes the memory sample_detectors needs beyond the frames (the observables' sums), so that a
  // caller can take it before any work; sample_detectors does when nobody has.
  void reserve_detectors();

  // Row s of `detectors` (num_detectors bits) and of `observables` (num_observables bits)
  // receive shot s's detector and observable values relative to the noiseless circuit. Call
  // check_deterministic(program) first: the values of other parities mean nothing.
  void sample_detectors(std::uint64_t shots, engine::SeededGenerator& generator,
                        std::uint8_t* detectors, std::uint8_t* observables,
                        RowLayout layout = RowLayout::bytes);

 private:
  const Program& program_;
  std::size_t words_;
  PauliFrames frames_;
  FrameScratch scratch_;
  std::vector<Word> observable_flips_;

  // Starts a block's frames, the draws counted as work.
  void start_block(engine::SeededGenerator& generator);
};

// Frame words per block for `program`: as many as keep a block's frames, record window and
// output tiles within a few megabytes, from 1 to 256; at least 4 while they fit in 256 MB.
std::size_t frame_block_words(const Program& program);

}  // namespace korvane::circuit
