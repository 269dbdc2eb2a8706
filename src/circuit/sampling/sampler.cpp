#include "sampler.h"

#include <algorithm>
#include <string>

#include "../../engine/base.h"

namespace korvane::circuit {
namespace {

// Writes each recorded bit as a byte.
struct RecordWriter {
  static constexpr bool wants_parities = false;

  void measurement(bool bit) { *next++ = bit ? 1 : 0; }
  void detector(bool /*parity*/) {}
  void observable(std::uint32_t /*index*/, bool /*parity*/) {}

  std::uint8_t* next;
};

// Writes each detector's parity relative to the reference, and adds observable terms up.
struct ParityWriter {
  static constexpr bool wants_parities = true;

  void measurement(bool /*bit*/) {}
  void detector(bool parity) { *next_detector++ = (parity ? 1 : 0) ^ *next_reference++; }
  void observable(std::uint32_t index, bool parity) { observables[index] ^= parity ? 1 : 0; }

  std::uint8_t* next_detector;
  const std::uint8_t* next_reference;
  std::uint8_t* observables;
};

}  // namespace

void check_fits(const Program& program, const engine::Register& reg) {
  if (program.num_qubits > reg.size()) {
    throw engine::InvalidInput("the circuit acts on " + std::to_string(program.num_qubits) +
                               " qubits but the register has " + std::to_string(reg.size()));
  }
}

void run_once(const Program& program, engine::Register& reg, engine::RandomSource& source,
              std::uint8_t* record) {
  RunScratch scratch(program);
  RecordWriter writer{record};
  run_on_register<Noise::applied>(program, reg, source, scratch, writer);
}

ShotSampler::ShotSampler(const Program& program)
    : program_(program), fresh_(program.num_qubits), reg_(fresh_), scratch_(program) {}

void ShotSampler::sample_measurements(std::uint64_t shots, engine::SeededGenerator& generator,
                                      std::uint8_t* records) {
  for (std::uint64_t shot = 0; shot < shots; ++shot) {
    reg_ = fresh_;
    RecordWriter writer{records + shot * program_.num_measurements};
    run_on_register<Noise::applied>(program_, reg_, generator, scratch_, writer);
  }
}

void ShotSampler::sample_detectors(std::uint64_t shots, const DetectorReference& reference,
                                   engine::SeededGenerator& generator, std::uint8_t* detectors,
                                   std::uint8_t* observables) {
  const std::size_t observable_count = program_.num_observables;
  for (std::uint64_t shot = 0; shot < shots; ++shot) {
    reg_ = fresh_;
    std::uint8_t* const row = observables + shot * observable_count;
    std::copy(reference.observables.begin(), reference.observables.end(), row);
    ParityWriter writer{detectors + shot * program_.num_detectors, reference.detectors.data(), row};
    run_on_register<Noise::applied>(program_, reg_, generator, scratch_, writer);
  }
}

}  // namespace korvane::circuit
