// The noiseless circuit, which samples are told apart from: the check that its detectors and
// observables are deterministic, and the one reference run that gives its values.
#pragma once

#include <cstdint>
#include <vector>

#include "../../engine/stop_check.h"
#include "../program.h"

namespace korvane::circuit {

// Throws InvalidInput naming the first detector (or observable) whose value is not deterministic
// without noise; std::bad_alloc when memory runs out.
//
// Every measurement result of the noiseless circuit is an affine function over GF(2) of the random
// bits its run draws, and so is every parity: it is either constant or a fair coin. A pass of
// 256 Pauli frames (each an independent sample of the random part) tells them apart: a parity that
// is not constant flips in each frame with probability 1/2, so it passes as constant with
// probability 2^-256. The frames draw from a fixed seed, so the verdict on a circuit never
// changes. `stop` may stop the pass (engine::Interrupted).
void check_deterministic(const Program& program, engine::StopCheck* stop = nullptr);

// What one noiseless run on the register records.
struct NoiselessReference {
  std::vector<std::uint8_t> record;       // each recorded bit, in run order
  std::vector<std::uint8_t> detectors;    // each detector's parity, in run order
  std::vector<std::uint8_t> observables;  // each observable's parity
};

// The parts of the reference a sampler needs.
enum class ReferenceParts : std::uint8_t { record, parities };

// One noiseless run of `program` on the graph engine from a fixed seed, keeping the record or the
// parities. Any run will do for the record: frames add the randomness. The parities are the
// noiseless circuit's values once check_deterministic has passed. `stop` may stop the run.
NoiselessReference noiseless_reference(const Program& program, ReferenceParts parts,
                                       engine::StopCheck* stop = nullptr);

// The same in two steps, so that a sampler can take all its memory before any work: the arrays
// for the parts kept (std::bad_alloc when refused), then the run that fills them.
NoiselessReference reserve_reference(const Program& program, ReferenceParts parts);
void run_reference(const Program& program, ReferenceParts parts, NoiselessReference& reference,
                   engine::StopCheck* stop = nullptr);

}  // namespace korvane::circuit
