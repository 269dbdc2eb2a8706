// Bell pairs and a GHZ state on the engine directly: the outcomes of entangled qubits agree, a
// single qubit of a pair is a fair coin, and a bad index stops the operation with a Fault.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <korvane/circuit/gates/gate_table.h>
#include <korvane/engine/base.h>
#include <korvane/engine/ops/controlled_gates.h>
#include <korvane/engine/ops/entangled_group.h>
#include <korvane/engine/ops/measure.h>
#include <korvane/engine/random/thread_generator.h>
#include <korvane/engine/register.h>

namespace {

using korvane::clifford::Axis;
namespace engine = korvane::engine;
namespace clifford = korvane::clifford;
namespace circuit = korvane::circuit;

// CNOT as the gate table defines it: a controlled Pauli, X on the target.
const engine::ControlledPauli cnot = circuit::gate_of(circuit::gate_named("CX")).controlled;

// (|00> + |11>)/sqrt(2) on qubits a and b of `reg`, which start in |0>.
void make_bell_pair(engine::Register& reg, engine::Qubit a, engine::Qubit b) {
  reg.apply_clifford(a, clifford::hadamard);
  engine::apply_controlled_pauli(reg, cnot, a, b);
}

}  // namespace

int main(int argc, char** argv) {
  const int shots = argc > 1 ? std::atoi(argv[1]) : 1000;
  engine::RandomSource& random = engine::thread_generator();

  int agreeing_z = 0;
  int agreeing_x = 0;
  int first_minus_one = 0;
  for (int shot = 0; shot < shots; ++shot) {
    engine::Register reg(4);
    make_bell_pair(reg, 0, 1);
    make_bell_pair(reg, 2, 3);
    const bool z0 = engine::measure(reg, 0, Axis::Z, random);
    agreeing_z += z0 == engine::measure(reg, 1, Axis::Z, random);
    first_minus_one += z0;
    agreeing_x +=
        engine::measure(reg, 2, Axis::X, random) == engine::measure(reg, 3, Axis::X, random);
  }
  std::printf("Bell pairs, %d shots: Z outcomes agree %d, X outcomes agree %d, first Z was -1 %d\n",
              shots, agreeing_z, agreeing_x, first_minus_one);

  constexpr std::size_t ghz_size = 50;
  engine::Register ghz(ghz_size);
  ghz.apply_clifford(0, clifford::hadamard);
  for (engine::Qubit q = 1; q < ghz_size; ++q) {
    engine::apply_controlled_pauli(ghz, cnot, q - 1, q);
  }
  const std::size_t group_size = engine::entangled_group(ghz, 0).size();
  const bool ghz_first = engine::measure(ghz, ghz_size - 1, Axis::Z, random);
  bool ghz_agrees = true;
  for (engine::Qubit q = 0; q + 1 < ghz_size; ++q) {
    ghz_agrees = ghz_agrees && engine::measure(ghz, q, Axis::Z, random) == ghz_first;
  }
  std::printf("GHZ state of %zu qubits: entangled group %zu, all Z outcomes equal: %s\n", ghz_size,
              group_size, ghz_agrees ? "yes" : "no");

  bool fault_seen = false;
  try {
    engine::cz(ghz, 0, ghz_size);
  } catch (const engine::Fault& fault) {
    fault_seen = true;
    std::printf("fault: %s\n", fault.what());
  }

  // A fair coin gives between 40% and 60% of -1 in 1000 shots with overwhelming probability.
  const bool coin_fair =
      shots < 1000 || (first_minus_one > shots * 2 / 5 && first_minus_one < shots * 3 / 5);
  const bool ok = agreeing_z == shots && agreeing_x == shots && group_size == ghz_size &&
                  ghz_agrees && fault_seen && coin_fair;
  std::printf("%s\n", ok ? "all checks passed" : "CHECKS FAILED");
  return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
