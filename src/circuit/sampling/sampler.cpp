#include "sampler.h"

#include <algorithm>
#include <optional>

#include "../../engine/random/seeded_generator.h"
#include "../pauli_products.h"
#include "frame_sampler.h"
#include "reference.h"
#include "shot_sampler.h"

namespace korvane::circuit {
namespace {

// A chunk is about this many target operations (shot by shot) or operations on a frame word
// (frames): short enough that a caller can stop a long sample soon, long enough that stopping to
// ask costs nothing.
constexpr std::uint64_t operations_per_chunk = std::uint64_t{1} << 24;
constexpr std::uint64_t frame_word_operations_per_chunk = std::uint64_t{1} << 26;

// Shots per chunk, shot by shot.
std::uint64_t shot_chunk(const Program& program) {
  return std::max<std::uint64_t>(
      1, operations_per_chunk / std::max<std::uint64_t>(program.operations, 1));
}

// Shots per chunk by frames: whole blocks, so that a sample split into chunks draws as one.
std::uint64_t frame_chunk(const Program& program, const FrameSampler& sampler) {
  // Each target operation of a block costs block_words() word operations.
  const std::uint64_t operations = frame_word_operations_per_chunk / sampler.block_words();
  return sampler.block_shots() *
         std::max<std::uint64_t>(1, operations / std::max<std::uint64_t>(program.operations, 1));
}

// Calls run(first_shot, shot_count) chunk by chunk, asking between_chunks() in between; false
// when it stopped the work.
template <class Run>
bool run_in_chunks(std::uint64_t shots, std::uint64_t chunk, const BetweenChunks& between_chunks,
                   Run&& run) {
  for (std::uint64_t first = 0; first < shots; first += chunk) {
    const std::uint64_t count = std::min(chunk, shots - first);
    run(first, count);
    if (first + count < shots && !between_chunks()) return false;
  }
  return true;
}

}  // namespace

// What a sample has made so far: the generator, the reference run and the kernel, each made when
// first needed.
struct Sampler::Work {
  explicit Work(std::uint64_t seed) : generator(seed) {}

  engine::SeededGenerator generator;
  bool detectors_checked = false;
  std::optional<NoiselessReference> reference;
  std::optional<FrameSampler> frames;
  std::optional<ShotSampler> shots;
};

Sampler::Sampler(const Program& program, SamplingMethod method, std::uint64_t seed,
                 std::uint64_t shots)
    : program_(program), method_(method), shots_(shots), work_(std::make_unique<Work>(seed)) {
  check_products(program);
}

Sampler::~Sampler() = default;

void Sampler::check_detectors() {
  if (program_.num_detectors != 0 || program_.num_observables != 0) {
    check_deterministic(program_);
    // Frames give the values relative to the noiseless circuit directly; shot by shot compares
    // with the noiseless values.
    if (method_ == SamplingMethod::shots) {
      work_->reference = noiseless_reference(program_, ReferenceParts::parities);
    }
  }
  work_->detectors_checked = true;
}

bool Sampler::sample_measurements(std::uint8_t* records, const BetweenChunks& between_chunks) {
  const std::uint64_t width = program_.num_measurements;
  if (shots_ == 0 || width == 0) return true;
  engine::SeededGenerator& generator = work_->generator;
  if (method_ == SamplingMethod::shots) {
    ShotSampler& sampler = work_->shots.emplace(program_);
    return run_in_chunks(shots_, shot_chunk(program_), between_chunks,
                         [&](std::uint64_t first, std::uint64_t count) {
                           sampler.sample_measurements(count, generator, records + first * width);
                         });
  }
  const NoiselessReference& reference =
      work_->reference.emplace(noiseless_reference(program_, ReferenceParts::record));
  FrameSampler& sampler = work_->frames.emplace(program_);
  return run_in_chunks(shots_, frame_chunk(program_, sampler), between_chunks,
                       [&](std::uint64_t first, std::uint64_t count) {
                         sampler.sample_measurements(count, reference.record, generator,
                                                     records + first * width);
                       });
}

bool Sampler::sample_detectors(std::uint8_t* detectors, std::uint8_t* observables,
                               const BetweenChunks& between_chunks) {
  const std::uint64_t detector_count = program_.num_detectors;
  const std::uint64_t observable_count = program_.num_observables;
  if (!work_->detectors_checked) check_detectors();
  if (shots_ == 0 || (detector_count == 0 && observable_count == 0)) return true;
  engine::SeededGenerator& generator = work_->generator;
  if (method_ == SamplingMethod::shots) {
    ShotSampler& sampler = work_->shots.emplace(program_);
    const NoiselessReference& reference = *work_->reference;
    return run_in_chunks(shots_, shot_chunk(program_), between_chunks,
                         [&](std::uint64_t first, std::uint64_t count) {
                           sampler.sample_detectors(count, reference, generator,
                                                    detectors + first * detector_count,
                                                    observables + first * observable_count);
                         });
  }
  FrameSampler& sampler = work_->frames.emplace(program_);
  return run_in_chunks(shots_, frame_chunk(program_, sampler), between_chunks,
                       [&](std::uint64_t first, std::uint64_t count) {
                         sampler.sample_detectors(count, generator,
                                                  detectors + first * detector_count,
                                                  observables + first * observable_count);
                       });
}

}  // namespace korvane::circuit
