#include "sampler.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "../../engine/random/seeded_generator.h"
#include "../pauli_products.h"
#include "frame_sampler.h"
#include "reference.h"
#include "shot_sampler.h"

namespace korvane::circuit {
namespace {

// Shot by shot, packed rows are made from a chunk of byte rows this many bytes at most.
constexpr std::uint64_t packing_chunk_bytes = std::uint64_t{1} << 20;

// Shot by shot, results come a byte per bit: straight into the caller's rows, or, packed, a
// chunk of shots at a time into bytes that are packed into them after.
class RowPacker {
 public:
  RowPacker(RowLayout layout, std::uint64_t bits, std::uint8_t* rows)
      : layout_(layout), bits_(bits), rows_(rows) {}

  std::uint64_t chunk_shots(std::uint64_t shots) const {
    if (layout_ == RowLayout::bytes) return shots;
    return std::max<std::uint64_t>(1, packing_chunk_bytes / std::max<std::uint64_t>(bits_, 1));
  }
  std::uint8_t* chunk(std::uint64_t first, std::uint64_t count) {
    if (layout_ == RowLayout::bytes) return rows_ + first * bits_;
    bytes_.resize(count * bits_);
    return bytes_.data();
  }
  void finish_chunk(std::uint64_t first, std::uint64_t count) {
    if (layout_ == RowLayout::bytes) return;
    const std::uint64_t packed = row_bytes(layout_, bits_);
    for (std::uint64_t s = 0; s < count; ++s) {
      pack_row(bytes_.data() + s * bits_, bits_, rows_ + (first + s) * packed);
    }
  }

 private:
  RowLayout layout_;
  std::uint64_t bits_;
  std::uint8_t* rows_;
  std::vector<std::uint8_t> bytes_;
};

// Calls run(first_shot, shot_count) on consecutive chunks of `chunk` shots.
template <class Run>
void run_in_chunks(std::uint64_t shots, std::uint64_t chunk, Run&& run) {
  for (std::uint64_t first = 0; first < shots; first += chunk) {
    run(first, std::min(chunk, shots - first));
  }
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
                 std::uint64_t shots, engine::StopCheck* stop, RowLayout layout)
    : program_(program),
      method_(method),
      shots_(shots),
      stop_(stop),
      layout_(layout),
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
    ShotSampler& sampler = *work_->shots;
    RowPacker records_out(layout_, program_.num_measurements, records);
    run_in_chunks(shots_, records_out.chunk_shots(shots_),
                  [&](std::uint64_t first, std::uint64_t count) {
                    sampler.sample_measurements(count, generator, records_out.chunk(first, count));
                    records_out.finish_chunk(first, count);
                  });
    return;
  }
  NoiselessReference& reference =
      work_->reference.emplace(reserve_reference(program_, ReferenceParts::record));
  run_reference(program_, ReferenceParts::record, reference, stop_);
  work_->frames->sample_measurements(shots_, reference.record, generator, records, layout_);
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
    ShotSampler& sampler = *work_->shots;
    const NoiselessReference& reference = *work_->reference;
    RowPacker detectors_out(layout_, program_.num_detectors, detectors);
    RowPacker observables_out(layout_, program_.num_observables, observables);
    const std::uint64_t chunk =
        std::min(detectors_out.chunk_shots(shots_), observables_out.chunk_shots(shots_));
    run_in_chunks(shots_, chunk, [&](std::uint64_t first, std::uint64_t count) {
      sampler.sample_detectors(count, reference, generator, detectors_out.chunk(first, count),
                               observables_out.chunk(first, count));
      detectors_out.finish_chunk(first, count);
      observables_out.finish_chunk(first, count);
    });
  } else {
    work_->frames->sample_detectors(shots_, generator, detectors, observables, layout_);
  }
}

}  // namespace korvane::circuit
