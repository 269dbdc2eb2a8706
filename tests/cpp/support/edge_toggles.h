// Toggling edges of a register directly, for tests that build a graph by hand: no index checks
// and no settling of the storage, which the operations under test then do.
#pragma once

#include "korvane/engine/register.h"

namespace korvane::testing {

inline void toggle_edge(engine::Register& reg, engine::Qubit a, engine::Qubit b) {
  reg.visit([a, b](auto& graph) { graph.toggle_edge(a, b); });
}

}  // namespace korvane::testing
