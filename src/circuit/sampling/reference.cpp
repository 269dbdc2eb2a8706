#include "reference.h"

#include <algorithm>
#include <span>
#include <string>

#include "../../engine/base.h"
#include "../run/frame_run.h"
#include "../run/register_run.h"

namespace korvane::circuit {
namespace {

constexpr std::size_t frame_words = 4;  // 4 * 64 = 256 frames
// Fixed seeds: the verdict and the reference run do not depend on the caller's randomness.
constexpr std::uint64_t frame_seed = 0x6B6F7276616E6531ULL;
constexpr std::uint64_t reference_seed = 0x6B6F7276616E6533ULL;

bool any_set(std::span<const Word> words) {
  return std::any_of(words.begin(), words.end(), [](Word word) { return word != 0; });
}

// Refuses the first detector that flips in some frame; adds up the observables' flips.
class DeterminismCheck {
 public:
  DeterminismCheck(const Program& program, std::size_t words)
      : program_(program),
        words_(words),
        observable_flips_(program.num_observables * words),
        last_terms_(program.num_observables) {}

  void measurement(std::span<const Word> /*flips*/) {}

  static std::span<Word> detector_row(std::span<Word> spare) { return spare; }
  void detector(std::span<const Word> flips, std::size_t instruction) {
    if (any_set(flips)) {
      throw engine::InvalidInput("line " + std::to_string(program_.lines[instruction]) +
                                 ": detector " + std::to_string(detectors_) +
                                 " is not deterministic in the noiseless circuit, so it cannot be "
                                 "sampled relative to it");
    }
    ++detectors_;
  }

  void observable(std::uint32_t index, std::span<const Word> flips, std::size_t instruction) {
    Word* const total = &observable_flips_[index * words_];
    for (std::size_t w = 0; w < words_; ++w) total[w] ^= flips[w];
    last_terms_[index] = instruction;
  }

  void check_observables() const {
    for (std::size_t index = 0; index < last_terms_.size(); ++index) {
      if (!any_set({&observable_flips_[index * words_], words_})) continue;
      throw engine::InvalidInput("line " + std::to_string(program_.lines[last_terms_[index]]) +
                                 ": observable " + std::to_string(index) +
                                 " is not deterministic in the noiseless circuit, so it cannot be "
                                 "sampled relative to it");
    }
  }

 private:
  const Program& program_;
  std::size_t words_;
  std::uint64_t detectors_ = 0;
  std::vector<Word> observable_flips_;
  std::vector<std::size_t> last_terms_;  // the last OBSERVABLE_INCLUDE of each, for messages
};

// Keeps the record, or the parities, of the reference run.
template <ReferenceParts parts>
struct ReferenceOutput {
  static constexpr bool wants_parities = parts == ReferenceParts::parities;

  void measurement(bool bit) {
    if constexpr (parts == ReferenceParts::record) reference.record.push_back(bit ? 1 : 0);
  }
  void detector(bool parity) { reference.detectors.push_back(parity ? 1 : 0); }
  void observable(std::uint32_t index, bool parity) {
    reference.observables[index] ^= parity ? 1 : 0;
  }

  NoiselessReference& reference;
};

template <ReferenceParts parts>
void run_reference_keeping(const Program& program, NoiselessReference& reference,
                           engine::StopCheck* stop) {
  ReferenceOutput<parts> output{reference};
  engine::Register reg(program.num_qubits);
  engine::SeededGenerator generator(reference_seed);
  RunScratch scratch(program, stop);
  run_on_register<Noise::skipped>(program, reg, generator, scratch, output);
}

}  // namespace

void check_deterministic(const Program& program, engine::StopCheck* stop) {
  if (program.num_detectors == 0 && program.num_observables == 0) return;
  PauliFrames frames(program.num_qubits, frame_words);
  FrameScratch scratch(program, frame_words, frame_words, stop);
  engine::SeededGenerator generator(frame_seed);
  randomize_start(frames, generator, frame_words);
  DeterminismCheck check(program, frame_words);
  run_on_frames<Noise::skipped>(program, frames, generator, scratch, check);
  check.check_observables();
}

NoiselessReference reserve_reference(const Program& program, ReferenceParts parts) {
  NoiselessReference reference;
  if (parts == ReferenceParts::record) {
    reference.record.reserve(program.num_measurements);
  } else {
    reference.detectors.reserve(program.num_detectors);
    reference.observables.assign(program.num_observables, 0);
  }
  return reference;
}

void run_reference(const Program& program, ReferenceParts parts, NoiselessReference& reference,
                   engine::StopCheck* stop) {
  if (parts == ReferenceParts::record) {
    run_reference_keeping<ReferenceParts::record>(program, reference, stop);
  } else {
    run_reference_keeping<ReferenceParts::parities>(program, reference, stop);
  }
}

NoiselessReference noiseless_reference(const Program& program, ReferenceParts parts,
                                       engine::StopCheck* stop) {
  NoiselessReference reference = reserve_reference(program, parts);
  run_reference(program, parts, reference, stop);
  return reference;
}

}  // namespace korvane::circuit
