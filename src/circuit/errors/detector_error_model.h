// A detector error model: independent error mechanisms, each a probability and the detectors and
// logical observables it flips, in the text format that decoders read (`error(p) D0 D5 L0`,
// `detector(...)`, `logical_observable`, `shift_detectors`, `repeat N { ... }`, `^` between the
// suggested parts of one error). Detector targets are relative to the detector offset that
// `shift_detectors` moves; observables are absolute.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::circuit {

// A target of an instruction: a detector index, an observable index with observable_flag set, or
// the separator between the parts of an error.
using DemTarget = std::uint64_t;
inline constexpr DemTarget observable_flag = std::uint64_t{1} << 63;
inline constexpr DemTarget separator_target = ~std::uint64_t{0};
// Detector indices stay below this, so that offsets added to them cannot overflow.
inline constexpr std::uint64_t largest_detector_index = std::uint64_t{1} << 62;

constexpr bool is_observable(DemTarget target) {
  return target != separator_target && (target & observable_flag) != 0;
}
constexpr bool is_detector(DemTarget target) { return (target & observable_flag) == 0; }

enum class DemKind : std::uint8_t { error, detector, logical_observable, shift_detectors, repeat };

struct DemInstruction {
  DemKind kind = DemKind::error;
  std::vector<double> arguments;  // the probability, or coordinates (offsets)
  std::vector<DemTarget> targets;
  std::uint64_t count = 0;           // shift_detectors: the detector shift; repeat: the repetitions
  std::vector<DemInstruction> body;  // repeat

  bool operator==(const DemInstruction&) const = default;
};

struct DetectorErrorModel {
  std::vector<DemInstruction> instructions;

  bool operator==(const DetectorErrorModel&) const = default;
};

// Reads the text format; throws engine::InvalidInput naming the line for anything else.
DetectorErrorModel parse_detector_error_model(std::string_view text);

// The canonical text: lower-case names, one instruction a line, bodies indented by four spaces,
// numbers in their shortest exact form.
std::string print_detector_error_model(const DetectorErrorModel& model);

struct DemCounts {
  std::uint64_t detectors = 0;    // 1 + the largest absolute detector index named
  std::uint64_t observables = 0;  // 1 + the largest observable index named
  std::uint64_t errors = 0;       // error instructions, each repetition counted
};

// Counts through repeat blocks without unrolling them (saturating at 2^64 - 1).
DemCounts count_detector_error_model(const DetectorErrorModel& model);

// The same model without repeat blocks or shifts: absolute indices and coordinates.
DetectorErrorModel flatten_detector_error_model(const DetectorErrorModel& model);

}  // namespace korvane::circuit
