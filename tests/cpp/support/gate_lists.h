// The gates of the gate table that the engine's tests run through, with their names.
#pragma once

#include <string>
#include <vector>

#include "korvane/circuit/gates/gate_table.h"
#include "korvane/engine/ops/controlled_gates.h"

namespace korvane::testing {

struct NamedControlledPauli {
  std::string name;
  engine::ControlledPauli gate;
};

// Every controlled Pauli of the table (one for each pair of axes), in table order.
inline const std::vector<NamedControlledPauli>& controlled_gates() {
  static const std::vector<NamedControlledPauli> gates = [] {
    std::vector<NamedControlledPauli> found;
    for (const circuit::Gate& gate : circuit::gate_table) {
      if (gate.kind == circuit::Kind::controlled) {
        found.push_back({std::string(gate.name), gate.controlled});
      }
    }
    return found;
  }();
  return gates;
}

// The controlled Pauli named `name` in the table ("CX", "YCZ", ...).
inline engine::ControlledPauli controlled_gate(const std::string& name) {
  return circuit::gate_of(*circuit::find_gate(name)).controlled;
}

}  // namespace korvane::testing
