// The values that detectors and observables take in the noiseless circuit, which sampled values
// are reported relative to, and the check that they are deterministic at all.
#pragma once

#include <cstdint>
#include <vector>

#include "../program.h"

namespace korvane::circuit {

struct DetectorReference {
  std::vector<std::uint8_t> detectors;    // each detector's noiseless parity, in run order
  std::vector<std::uint8_t> observables;  // each observable's noiseless parity
};

// Throws engine::InvalidInput naming the first detector (or observable) whose value is not
// deterministic without noise, as noiseless_reference does, without computing the values.
void check_deterministic(const Program& program);

// Throws engine::InvalidInput naming the first detector (or observable) whose value is not
// deterministic without noise; std::bad_alloc when memory runs out.
//
// Every measurement result of the noiseless circuit is an affine function over GF(2) of the random
// bits its run draws, and so is every parity: it is either constant or a fair coin. A pass of
// 256 Pauli frames (each an independent sample of the random part) tells them apart: a parity that
// is not constant flips in each frame with probability 1/2, so it passes as constant with
// probability 2^-256. The frames draw from a fixed seed, so the verdict on a circuit never
// changes. One noiseless run on the register then gives the constant values.
DetectorReference noiseless_reference(const Program& program);

}  // namespace korvane::circuit
