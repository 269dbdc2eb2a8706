// The gates OpenQASM defines without a body korvane reads: the built-in U and CX (and gphase),
// and the standard libraries qelib1.inc (version 2) and stdgates.inc (version 3), each by its
// matrix. The Clifford ones that are circuit gates of korvane map to them directly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "../gates/gate_table.h"
#include "small_unitary.h"

namespace korvane::circuit::qasm {

enum Library : std::uint8_t {
  built_in = 1,  // always defined
  qelib1 = 2,    // include "qelib1.inc";
  stdgates = 4,  // include "stdgates.inc";
};

struct IntrinsicGate {
  std::string_view name;
  std::uint8_t qubits;
  std::uint8_t parameters;
  std::uint8_t libraries;  // Library bits
  std::optional<GateId> native;
  // The matrix for the given parameters; null for the few gates korvane refuses without one.
  Unitary (*matrix)(std::span<const double> parameters);
};

// The gate of that name in one of `libraries`, or null.
const IntrinsicGate* find_intrinsic(std::string_view name, std::uint8_t libraries);

// A library that defines that name, `preferred` when it does (for the hint in a message).
std::optional<Library> library_defining(std::string_view name, Library preferred);

}  // namespace korvane::circuit::qasm
