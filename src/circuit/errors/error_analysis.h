// The detector error model of a noisy circuit: which detectors and observables each of its
// noise mechanisms flips, with what probability.
//
// One backward pass: each qubit carries the sets of detectors and observables that an X or a Z
// error at the current point would flip, starting empty at the end of the circuit. Walking back,
// a detector or observable adds itself to the results it reads, a measurement passes its result's
// set to the errors that flip it, gates map the sets through their Pauli images, and a reset
// empties them; a noise channel then reads its errors' symptoms straight off the sets. A REPEAT
// block is walked iteration by iteration until two consecutive ones leave the sets the same up to
// the detector shift of one iteration: from there every earlier iteration repeats the last one,
// which becomes a `repeat` block of the model (when no such point comes, every iteration is
// written out).
#pragma once

#include "../../engine/stop_check.h"
#include "../program.h"
#include "detector_error_model.h"

namespace korvane::circuit {

struct ErrorAnalysisOptions {
  // Split errors that flip more than two detectors into parts of at most two (X and Z parts
  // first, then parts that other errors of the model flip on their own), joined by `^`.
  bool decompose_errors = false;
  // Write every repetition out instead of keeping `repeat` blocks.
  bool flatten_loops = false;
  // May stop the pass between instructions, by engine::Interrupted.
  engine::StopCheck* stop = nullptr;
};

// Throws engine::InvalidInput, naming the line, when a detector or observable is not deterministic
// without noise, when a channel cannot be written as independent errors, or when an error cannot
// be decomposed as asked.
DetectorErrorModel analyze_errors(const Program& program, const ErrorAnalysisOptions& options);

}  // namespace korvane::circuit
