// Sampling a circuit: the one place that decides, for a method, a seed and a shot count, which
// reference run to make and which kernel runs the shots (Pauli frames beside the reference, or the
// graph engine shot by shot), in blocks of what size. Everything a sample keeps is allocated before
// any of its work starts, so that a sample too large for memory is refused at once. Callers (the
// Python binding) only convert arguments and arrays.
#pragma once

#include <cstdint>
#include <memory>

#include "../../engine/stop_check.h"
#include "../program.h"
#include "row_layout.h"

namespace korvane::circuit {

// How shots are drawn: by Pauli frames over one reference run (64 shots a word), or one by one
// on the graph engine. Both are exact; they draw differently, so one seed gives different
// (equally distributed) samples.
enum class SamplingMethod : std::uint8_t { frames, shots };

class Sampler {
 public:
  // `shots` runs of `program` from |0...0> by `method`, drawing from `seed`, written in rows laid
  // out as `layout` says; n shots are the first n of any longer sample with the same seed and
  // method. `stop` may stop the work (every part of it: the reference run, the determinism check
  // and the shots) between whole instructions, by engine::Interrupted. Does no work yet, but
  // throws InvalidInput, naming the line, for a Pauli product that cannot be measured or applied.
  Sampler(const Program& program, SamplingMethod method, std::uint64_t seed, std::uint64_t shots,
          engine::StopCheck* stop = nullptr, RowLayout layout = RowLayout::bytes);
  ~Sampler();
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

  // Checks that every detector and observable is deterministic without noise, as
  // sample_detectors needs, and takes their noiseless values where the method needs them. Throws
  // InvalidInput naming the first that is not. sample_detectors calls it when nobody has.
  void check_detectors();

  // Row s of `records` (num_measurements bits) receives shot s's measurement record.
  void sample_measurements(std::uint8_t* records);

  // Row s of `detectors` (num_detectors bits) and of `observables` (num_observables bits)
  // receive shot s's detector and observable values relative to the noiseless circuit.
  void sample_detectors(std::uint8_t* detectors, std::uint8_t* observables);

 private:
  struct Work;

  // Makes the kernel of the method, with its memory, unless made already.
  void make_kernel();

  const Program& program_;
  SamplingMethod method_;
  std::uint64_t shots_;
  engine::StopCheck* stop_;
  RowLayout layout_;
  std::unique_ptr<Work> work_;
};

}  // namespace korvane::circuit
