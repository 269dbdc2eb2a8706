// The backward pass of error analysis (see error_analysis.h): the errors of a circuit with their
// symptoms, found from the end of the circuit to its start.
#pragma once

#include <functional>
#include <vector>

#include "../program.h"
#include "found_errors.h"

namespace korvane::circuit {

// The items of `program` in the circuit's order (loop bodies too). `fold_loops`: keep periodic
// REPEAT blocks as loops; `keep_parts`: record each error's X and Z parts; `check_in` (when set)
// is called every few thousand instructions.
std::vector<FoundItem> find_errors(const Program& program, bool fold_loops, bool keep_parts,
                                   const std::function<void()>& check_in);

}  // namespace korvane::circuit
