// Sampling shot by shot: every shot runs the circuit on the graph engine from |0...0>.
#pragma once

#include <cstdint>

#include "../../engine/random/seeded_generator.h"
#include "../../engine/register.h"
#include "../program.h"
#include "../run/register_run.h"
#include "reference.h"

namespace korvane::circuit {

// Shots one after another, each drawing from the generator where the previous one stopped, so
// that n shots are the first n of any longer sample with the same seed, however they are split
// into calls. `stop` may stop the shots (engine::Interrupted) between whole instructions.
class ShotSampler {
 public:
  explicit ShotSampler(const Program& program, engine::StopCheck* stop = nullptr);

  // Row s of `records` (num_measurements bytes) receives shot s's measurement record.
  void sample_measurements(std::uint64_t shots, engine::SeededGenerator& generator,
                           std::uint8_t* records);

  // Row s of `detectors` (num_detectors bytes) and of `observables` (num_observables bytes)
  // receive shot s's detector and observable values, each XOR its value in `reference`.
  void sample_detectors(std::uint64_t shots, const NoiselessReference& reference,
                        engine::SeededGenerator& generator, std::uint8_t* detectors,
                        std::uint8_t* observables);

 private:
  const Program& program_;
  const engine::Register fresh_;
  engine::Register reg_;
  RunScratch scratch_;

  // A fresh register for the next shot, its copy counted as work.
  void start_shot();
};

}  // namespace korvane::circuit
