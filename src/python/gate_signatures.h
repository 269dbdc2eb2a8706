// How Korvane's gate methods look from Python, from their gate records: their parameters, what
// they return, and their lines in the type stubs. Free of the C API, so that the test that keeps
// korvane.pyi current can read it too.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "../circuit/gates/gate_table.h"

namespace korvane::python {

// The gates that have a method, in the order of their positions.
inline constexpr std::size_t gate_method_count = static_cast<std::size_t>(
    std::count_if(circuit::gate_table.begin(), circuit::gate_table.end(),
                  [](const circuit::Gate& gate) { return gate.method.name != nullptr; }));

inline constexpr std::array<circuit::GateId, gate_method_count> gates_by_method_position = [] {
  std::array<circuit::GateId, gate_method_count> ids{};
  for (std::size_t id = 0; id < circuit::gate_count; ++id) {
    const circuit::Method& method = circuit::gate_table[id].method;
    if (method.name != nullptr) ids[method.position - 1] = static_cast<circuit::GateId>(id);
  }
  return ids;
}();

// The positions are 1, 2, ..., each taken once.
static_assert([] {
  for (std::size_t rank = 0; rank < gate_method_count; ++rank) {
    const circuit::Method& method = circuit::gate_of(gates_by_method_position[rank]).method;
    if (method.name == nullptr || method.position != static_cast<int>(rank) + 1) return false;
  }
  return true;
}());

// The parameters of a gate's method: one qubit, or a controlled gate's control and target.
struct MethodParameters {
  std::array<const char*, 2> names{};
  std::size_t count = 0;
};

constexpr MethodParameters parameters_of(const circuit::Gate& gate) {
  if (gate.kind == circuit::Kind::controlled) return {{"control", "target"}, 2};
  return {{"qubit", nullptr}, 1};
}

// Whether the method returns the measured bit (a MeasurementResult) rather than None.
constexpr bool returns_result(const circuit::Gate& gate) {
  return gate.kind == circuit::Kind::measure;
}

// The gate methods' lines of class Korvane in korvane.pyi, in order.
inline std::string gate_method_stubs() {
  std::string lines;
  for (const circuit::GateId id : gates_by_method_position) {
    const circuit::Gate& gate = circuit::gate_of(id);
    const MethodParameters parameters = parameters_of(gate);
    lines += "    def " + std::string(gate.method.name) + "(self";
    for (std::size_t i = 0; i < parameters.count; ++i) {
      lines += ", " + std::string(parameters.names[i]) + ": SupportsIndex";
    }
    lines +=
        std::string(") -> ") + (returns_result(gate) ? "MeasurementResult" : "None") + ": ...\n";
  }
  return lines;
}

}  // namespace korvane::python
