// The backward pass of error analysis (see error_analysis.h): the errors of a circuit with their
// symptoms, found from the end of the circuit to its start.
#pragma once

#include <vector>

#include "../../engine/stop_check.h"
#include "../program.h"
#include "found_errors.h"

namespace korvane::circuit {

// The items of `program` in the circuit's order (loop bodies too). `fold_loops`: keep periodic
// REPEAT blocks as loops; `keep_parts`: record each error's X and Z parts; `stop` may stop the
// pass between instructions, by engine::Interrupted.
std::vector<FoundItem> find_errors(const Program& program, bool fold_loops, bool keep_parts,
                                   engine::StopCheck* stop);

}  // namespace korvane::circuit
