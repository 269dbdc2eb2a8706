// Running circuit text on a register, for tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "korvane/circuit/run/register_run.h"
#include "korvane/circuit/text/parser.h"
#include "korvane/engine/random/random_source.h"
#include "korvane/engine/register.h"

namespace korvane::testing {

// Parses `text`, runs it on `reg` and returns the measurement record.
inline std::vector<std::uint8_t> run_text(engine::Register& reg, std::string_view text,
                                          engine::RandomSource& source) {
  const circuit::Program program = circuit::parse_circuit(text);
  circuit::check_fits(program, reg);
  std::vector<std::uint8_t> record(program.num_measurements);
  circuit::run_once(program, reg, source, record.data());
  return record;
}

}  // namespace korvane::testing
