// What the backward pass of error analysis finds, in the circuit's terms, before it is written as
// a detector error model: errors with their symptoms (absolute detector indices), detector
// declarations, coordinate shifts, and REPEAT blocks found periodic.
#pragma once

#include <cstdint>
#include <vector>

#include "symptoms.h"

namespace korvane::circuit {

struct FoundError {
  double probability = 0.0;
  Symptoms symptoms;
  // What the error's Pauli parts flip, qubit by qubit (kept only for decomposition): its X parts
  // and its Z parts. A measurement's flip is one X part.
  std::vector<Symptoms> x_parts;
  std::vector<Symptoms> z_parts;
  // After decomposition, when split: the graphlike parts whose XOR is `symptoms`.
  std::vector<Symptoms> components;
  std::uint32_t instruction = 0;
};

enum class FoundKind : std::uint8_t { error, detector, coordinate_shift, loop };

struct FoundItem {
  FoundKind kind = FoundKind::error;
  std::uint32_t instruction = 0;  // the circuit instruction (DETECTOR, SHIFT_COORDS, REPEAT)
  std::uint64_t detector = 0;     // a detector's absolute index
  FoundError error;
  // A loop: `body` is one iteration, whose first detector is `base`; it stands for `repetitions`
  // iterations, each `period` detectors after the one before.
  std::uint64_t repetitions = 0;
  std::uint64_t period = 0;
  std::uint64_t base = 0;
  std::vector<FoundItem> body;
};

}  // namespace korvane::circuit
