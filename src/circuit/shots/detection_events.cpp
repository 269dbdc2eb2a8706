#include "detection_events.h"

#include "../program_walk.h"
#include "../sampling/reference.h"

namespace korvane::circuit {

DetectionConverter::DetectionConverter(const Program& program, engine::StopCheck* stop)
    : measurements_(program.num_measurements),
      detectors_(program.num_detectors),
      observables_(program.num_observables),
      stop_(stop) {
  check_deterministic(program, stop);
  const NoiselessReference reference = noiseless_reference(program, ReferenceParts::parities, stop);
  std::vector<std::vector<std::uint64_t>> observable_terms(observables_);
  std::vector<OpenLoop> loops;
  engine::StopPacer pacer(stop);
  std::uint64_t measured = 0;
  walk(program, loops, pacer, [&](const Instruction& instruction, std::size_t /*index*/) {
    switch (instruction.kind) {
      case Kind::detector:
        for (const std::uint32_t k : program.targets_of(instruction))
          terms_.push_back(measured - k);
        starts_.push_back(terms_.size());
        break;
      case Kind::observable:
        for (const std::uint32_t k : program.targets_of(instruction)) {
          observable_terms[instruction.detail].push_back(measured - k);
        }
        break;
      default:
        measured += recorded_bits(program, instruction);
        break;
    }
  });
  for (const std::vector<std::uint64_t>& terms : observable_terms) {
    terms_.insert(terms_.end(), terms.begin(), terms.end());
    starts_.push_back(terms_.size());
  }
  reference_ = reference.detectors;
  reference_.insert(reference_.end(), reference.observables.begin(), reference.observables.end());
}

void DetectionConverter::convert(const std::uint8_t* records, std::uint64_t shots,
                                 std::uint8_t* detectors, std::uint8_t* observables) const {
  const std::uint64_t record_bytes = (measurements_ + 7) / 8;
  const std::uint64_t detector_bytes = (detectors_ + 7) / 8;
  const std::uint64_t observable_bytes = (observables_ + 7) / 8;
  engine::StopPacer pacer(stop_);
  for (std::uint64_t s = 0; s < shots; ++s) {
    pacer.count(terms_.size());
    const std::uint8_t* record = records + s * record_bytes;
    for (std::uint64_t k = 0; k + 1 < starts_.size(); ++k) {
      unsigned parity = reference_[k];
      for (std::uint64_t t = starts_[k]; t < starts_[k + 1]; ++t) {
        parity ^= (record[terms_[t] >> 3U] >> (terms_[t] & 7U)) & 1U;
      }
      if (parity == 0) continue;
      const bool is_detector = k < detectors_;
      const std::uint64_t bit = is_detector ? k : k - detectors_;
      std::uint8_t* row =
          is_detector ? detectors + s * detector_bytes : observables + s * observable_bytes;
      row[bit >> 3U] = static_cast<std::uint8_t>(row[bit >> 3U] | (1U << (bit & 7U)));
    }
  }
}

}  // namespace korvane::circuit
