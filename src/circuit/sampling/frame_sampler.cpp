#include "frame_sampler.h"

#include <algorithm>
#include <bit>

#include "../condition.h"
#include "shot_major_writer.h"

namespace korvane::circuit {
namespace {

constexpr std::size_t block_budget_bytes = std::size_t{4} << 20U;
constexpr std::size_t large_block_budget_bytes = std::size_t{256} << 20U;
constexpr std::size_t most_block_words = 256;

void copy_row(std::span<const Word> from, std::span<Word> to) {
  std::copy(from.begin(), from.end(), to.begin());
}

// Hands each measurement's flips to the writer.
struct MeasurementRows {
  void measurement(std::span<const Word> flips) { copy_row(flips, writer.next_row()); }
  static std::span<Word> detector_row(std::span<Word> spare) { return spare; }
  void detector(std::span<const Word> /*flips*/, std::size_t /*instruction*/) {}
  void observable(std::uint32_t /*index*/, std::span<const Word> /*flips*/,
                  std::size_t /*instruction*/) {}

  ShotMajorWriter& writer;
};

// Has each detector's flips written straight into the writer's rows; adds up the observables'.
struct ParityRows {
  void measurement(std::span<const Word> /*flips*/) {}
  std::span<Word> detector_row(std::span<Word> /*spare*/) { return detector_writer.next_row(); }
  void detector(std::span<const Word> /*flips*/, std::size_t /*instruction*/) {}
  void observable(std::uint32_t index, std::span<const Word> flips, std::size_t /*instruction*/) {
    Word* const total = &observable_flips[index * flips.size()];
    for (std::size_t w = 0; w < flips.size(); ++w) total[w] ^= flips[w];
  }

  ShotMajorWriter& detector_writer;
  std::vector<Word>& observable_flips;
};

}  // namespace

std::size_t frame_block_words(const Program& program) {
  // Bytes per frame word of the block: X and Z of every qubit, the record window, the observables'
  // sums and two writers' tiles.
  constexpr std::uint64_t tile_rows = std::uint64_t{2} * engine::word_bits;
  const std::uint64_t per_word =
      sizeof(Word) * (2 * std::max<std::uint64_t>(program.num_qubits, 1) +
                      std::bit_ceil(std::max<std::uint64_t>(program.deepest_lookback, 1)) +
                      program.num_observables + tile_rows);
  const auto words_within = [per_word](std::uint64_t budget, std::uint64_t most) {
    return std::clamp<std::uint64_t>(std::bit_floor(std::max<std::uint64_t>(budget / per_word, 1)),
                                     1, most);
  };
  // A large circuit gets a few words even beyond the cache: one word a block would pay the
  // instructions' dispatch for every 64 shots.
  return static_cast<std::size_t>(std::max(words_within(block_budget_bytes, most_block_words),
                                           words_within(large_block_budget_bytes, 4)));
}

FrameSampler::FrameSampler(const Program& program, std::uint64_t shots, engine::StopCheck* stop)
    : program_(program),
      words_(std::clamp<std::uint64_t>(shots / engine::word_bits + (shots % engine::word_bits != 0),
                                       1, frame_block_words(program))),
      frames_(program.num_qubits, words_),
      scratch_(program, words_, frame_block_words(program), stop) {
  check_frames_can_run(program);
}

void FrameSampler::reserve_detectors() {
  observable_flips_.resize(program_.num_observables * words_);
}

void FrameSampler::start_block(engine::SeededGenerator& generator) {
  scratch_.pacer.count(1 + frames_.qubits() * scratch_.stream_words() / 4);
  randomize_start(frames_, generator, scratch_.stream_words());
}

void FrameSampler::sample_measurements(std::uint64_t shots, std::span<const std::uint8_t> reference,
                                       engine::SeededGenerator& generator, std::uint8_t* records,
                                       RowLayout layout) {
  const std::uint64_t width = program_.num_measurements;
  ShotMajorWriter writer(words_, width, reference, layout);
  MeasurementRows rows{writer};
  for (std::uint64_t first = 0; first < shots; first += block_shots()) {
    writer.start_block(records + first * row_bytes(layout, width),
                       std::min(block_shots(), shots - first));
    start_block(generator);
    run_on_frames<Noise::applied>(program_, frames_, generator, scratch_, rows);
    writer.finish_block();
  }
}

void FrameSampler::sample_detectors(std::uint64_t shots, engine::SeededGenerator& generator,
                                    std::uint8_t* detectors, std::uint8_t* observables,
                                    RowLayout layout) {
  const std::uint64_t detector_count = program_.num_detectors;
  const std::uint64_t observable_count = program_.num_observables;
  ShotMajorWriter detector_writer(words_, detector_count, {}, layout);
  ShotMajorWriter observable_writer(words_, observable_count, {}, layout);
  reserve_detectors();
  std::vector<Word>& observable_flips = observable_flips_;
  ParityRows rows{detector_writer, observable_flips};
  for (std::uint64_t first = 0; first < shots; first += block_shots()) {
    const std::uint64_t count = std::min(block_shots(), shots - first);
    detector_writer.start_block(detectors + first * row_bytes(layout, detector_count), count);
    std::fill(observable_flips.begin(), observable_flips.end(), Word{0});
    start_block(generator);
    run_on_frames<Noise::applied>(program_, frames_, generator, scratch_, rows);
    detector_writer.finish_block();
    observable_writer.start_block(observables + first * row_bytes(layout, observable_count), count);
    for (std::uint64_t index = 0; index < observable_count; ++index) {
      copy_row({&observable_flips[index * words_], words_}, observable_writer.next_row());
    }
    observable_writer.finish_block();
  }
}

}  // namespace korvane::circuit
