#include "register_run.h"

#include <string>

namespace korvane::circuit {

void check_size(const Program& program, const engine::Register& reg) {
  if (program.num_qubits > reg.size()) {
    throw engine::InvalidInput("the circuit acts on " + std::to_string(program.num_qubits) +
                               " qubits but the register has " + std::to_string(reg.size()));
  }
}

void check_fits(const Program& program, const engine::Register& reg) {
  check_size(program, reg);
  check_products(program);
}

void run_once(const Program& program, engine::Register& reg, engine::RandomSource& source,
              std::uint8_t* record, engine::StopCheck* stop) {
  RunScratch scratch(program, stop);
  RecordBytes bytes{record};
  run_on_register<Noise::applied>(program, reg, source, scratch, bytes);
}

}  // namespace korvane::circuit
