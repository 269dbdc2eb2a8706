// Reads the message of an engine fault, so tests can compare it with the expected text.
#pragma once

#include <string>

#include "korvane/engine/base.h"

namespace korvane::testing {

// The message of the Fault that `action` throws, or "" when it throws none.
template <typename Action>
std::string fault_message(Action action) {
  try {
    action();
  } catch (const engine::Fault& fault) {
    return fault.what();
  }
  return "";
}

}  // namespace korvane::testing
