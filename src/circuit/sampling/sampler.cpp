#include "sampler.h"

#include <optional>

#include "../../engine/random/seeded_generator.h"
#include "../pauli_products.h"
#include "frame_sampler.h"
#include "reference.h"
#include "shot_sampler.h"

namespace korvane::circuit {

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
                 std::uint64_t shots, engine::StopCheck* stop)
    : program_(program),
      method_(method),
      shots_(shots),
      stop_(stop),
      work_(std::make_unique<Work>(seed)) {
  check_products(program);
}

Sampler::~Sampler() = default;

void Sampler::make_kernel() {
  if (method_ == SamplingMethod::shots) {
    if (!work_->shots) work_->shots.emplace(program_, stop_);
  } else if (!work_->frames) {
    work_->frames.emplace(program_, shots_, stop_);
  }
}

void Sampler::check_detectors() {
  if (program_.num_detectors != 0 || program_.num_observables != 0) {
    // Frames give the values relative to the noiseless circuit directly; shot by shot compares
    // with the noiseless values, whose arrays are taken before the check runs.
    if (method_ == SamplingMethod::shots) {
      work_->reference = reserve_reference(program_, ReferenceParts::parities);
    }
    check_deterministic(program_, stop_);
    if (method_ == SamplingMethod::shots) {
      run_reference(program_, ReferenceParts::parities, *work_->reference, stop_);
    }
  }
  work_->detectors_checked = true;
}

void Sampler::sample_measurements(std::uint8_t* records) {
  if (shots_ == 0 || program_.num_measurements == 0) return;
  make_kernel();
  engine::SeededGenerator& generator = work_->generator;
  if (method_ == SamplingMethod::shots) {
    work_->shots->sample_measurements(shots_, generator, records);
    return;
  }
  NoiselessReference& reference =
      work_->reference.emplace(reserve_reference(program_, ReferenceParts::record));
  run_reference(program_, ReferenceParts::record, reference, stop_);
  work_->frames->sample_measurements(shots_, reference.record, generator, records);
}

void Sampler::sample_detectors(std::uint8_t* detectors, std::uint8_t* observables) {
  const bool any = program_.num_detectors != 0 || program_.num_observables != 0;
  if (shots_ != 0 && any) {
    make_kernel();
    if (work_->frames) work_->frames->reserve_detectors();
  }
  if (!work_->detectors_checked) check_detectors();
  if (shots_ == 0 || !any) return;
  engine::SeededGenerator& generator = work_->generator;
  if (method_ == SamplingMethod::shots) {
    work_->shots->sample_detectors(shots_, *work_->reference, generator, detectors, observables);
  } else {
    work_->frames->sample_detectors(shots_, generator, detectors, observables);
  }
}

}  // namespace korvane::circuit
