// Detection events from measurement records: each detector's and observable's parity of the
// results it names, relative to its value in the noiseless circuit.
#pragma once

#include <cstdint>
#include <vector>

#include "../../engine/stop_check.h"
#include "../program.h"

namespace korvane::circuit {

class DetectionConverter {
 public:
  // Throws engine::InvalidInput naming the first detector or observable that is not deterministic
  // without noise. `stop` may stop the making and the conversions (engine::Interrupted).
  explicit DetectionConverter(const Program& program, engine::StopCheck* stop = nullptr);

  // Row s of `records` (packed as b8, ceil(num_measurements / 8) bytes) gives row s of
  // `detectors` and of `observables` (packed likewise, zero-filled by the caller).
  void convert(const std::uint8_t* records, std::uint64_t shots, std::uint8_t* detectors,
               std::uint8_t* observables) const;

 private:
  // Parity k: the measurements terms[starts[k]] .. terms[starts[k + 1] - 1], XOR reference[k];
  // detectors first, then observables.
  std::vector<std::uint64_t> starts_{0};
  std::vector<std::uint64_t> terms_;
  std::vector<std::uint8_t> reference_;
  std::uint64_t measurements_;
  std::uint64_t detectors_;
  std::uint64_t observables_;
  engine::StopCheck* stop_;
};

}  // namespace korvane::circuit
