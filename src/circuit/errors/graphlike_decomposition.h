// Splitting errors into graphlike parts (at most two detectors each) for matching decoders: an
// error whose X and Z parts both flip something splits into those two; a part with more than two
// detectors splits into its qubits' parts, or else into effects that other errors of the model
// have on their own, at most two of its detectors left over as one more part.
#pragma once

#include <vector>

#include "../program.h"
#include "found_errors.h"

namespace korvane::circuit {

// Fills `components` of every error of `items` that splits; throws engine::InvalidInput naming the
// line of the first error that has no graphlike decomposition.
void decompose_errors(std::vector<FoundItem>& items, const Program& program);

}  // namespace korvane::circuit
