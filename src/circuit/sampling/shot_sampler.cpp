#include "shot_sampler.h"

#include <algorithm>

namespace korvane::circuit {
namespace {

// Writes each detector's parity relative to the reference, and adds observable terms up.
struct ParityRow {
  static constexpr bool wants_parities = true;

  void measurement(bool /*bit*/) {}
  void detector(bool parity) { *next_detector++ = (parity ? 1 : 0) ^ *next_reference++; }
  void observable(std::uint32_t index, bool parity) { observables[index] ^= parity ? 1 : 0; }

  std::uint8_t* next_detector;
  const std::uint8_t* next_reference;
  std::uint8_t* observables;
};

}  // namespace

ShotSampler::ShotSampler(const Program& program, engine::StopCheck* stop)
    : program_(program), fresh_(program.num_qubits), reg_(fresh_), scratch_(program, stop) {}

void ShotSampler::start_shot() {
  scratch_.pacer.count(1 + fresh_.size() / engine::word_bits);
  reg_ = fresh_;
}

void ShotSampler::sample_measurements(std::uint64_t shots, engine::SeededGenerator& generator,
                                      std::uint8_t* records) {
  for (std::uint64_t shot = 0; shot < shots; ++shot) {
    start_shot();
    RecordBytes row{records + shot * program_.num_measurements};
    run_on_register<Noise::applied>(program_, reg_, generator, scratch_, row);
  }
}

void ShotSampler::sample_detectors(std::uint64_t shots, const NoiselessReference& reference,
                                   engine::SeededGenerator& generator, std::uint8_t* detectors,
                                   std::uint8_t* observables) {
  const std::size_t observable_count = program_.num_observables;
  for (std::uint64_t shot = 0; shot < shots; ++shot) {
    start_shot();
    std::uint8_t* const observable_row = observables + shot * observable_count;
    std::copy(reference.observables.begin(), reference.observables.end(), observable_row);
    ParityRow row{detectors + shot * program_.num_detectors, reference.detectors.data(),
                  observable_row};
    run_on_register<Noise::applied>(program_, reg_, generator, scratch_, row);
  }
}

}  // namespace korvane::circuit
