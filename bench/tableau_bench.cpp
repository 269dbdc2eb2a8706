// The stabilizer tableau's costs on the workload families of workloads.h, as a yardstick for the
// engine: every gate is O(n), a measurement up to O(n^2 / 64). Prints one JSON object per line:
// workload, n, ops, seconds, seconds_per_op. Random outcomes come from a seeded generator.
//
// Usage: korvane_tableau_bench [--quick]   (--quick: the smaller sizes only)
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "tableau.h"
#include "workloads.h"

namespace {

using korvane::bench::Circuit;
using korvane::bench::Op;
using korvane::bench::OpKind;
using korvane::testing::Tableau;

// By bench::SingleGate: x, y, z, h, s, sdag.
constexpr std::array<void (Tableau::*)(std::size_t), 6> single_gates{
    &Tableau::x, &Tableau::y, &Tableau::z, &Tableau::h, &Tableau::s, &Tableau::sdag};

// Runs the circuit on a fresh tableau (its construction untimed) and prints the figures.
void time_circuit(const char* workload, std::size_t qubits, const Circuit& circuit) {
  Tableau tableau(qubits);
  std::mt19937_64 outcomes(qubits);
  std::size_t random_outcomes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const Op& op : circuit) {
    switch (op.kind) {
      case OpKind::single:
        (tableau.*single_gates[op.which])(op.qubit);
        break;
      case OpKind::two_qubit:
        tableau.controlled(korvane::bench::control_axis(op.two_qubit_gate()),
                           korvane::bench::target_axis(op.two_qubit_gate()), op.qubit, op.target);
        break;
      case OpKind::measure:
        random_outcomes += tableau.measure(op.qubit, op.axis(), (outcomes() & 1) != 0).random;
        break;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "{\"workload\": \"%s\", \"n\": %zu, \"ops\": %zu, \"seconds\": %.6f, \"seconds_per_op\": "
      "%.3e, \"random_outcomes\": %zu}\n",
      workload, qubits, circuit.size(), seconds, seconds / static_cast<double>(circuit.size()),
      random_outcomes);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  namespace bench = korvane::bench;
  const bool quick = argc > 1 && std::string_view(argv[1]) == "--quick";

  for (const std::size_t n : {400, 800, 10000}) {
    if (quick && n > 800) continue;
    time_circuit("ghz_chain", n, bench::ghz_chain(n, n));
    time_circuit("ghz_star", n, bench::ghz_star(n, n));
  }
  // At least 10^5 operations, and 10 per qubit.
  for (const std::size_t n : {10, 100, 1000}) {
    if (quick && n > 100) continue;
    const std::size_t ops = std::max<std::size_t>(100000, 10 * n);
    time_circuit("random_all_pairs", n, bench::random_circuit(n, ops, n, n));
  }
  // Partners within 30 places; 5 operations per qubit.
  for (const std::size_t n : {2000, 20000}) {
    if (quick && n > 2000) continue;
    time_circuit("local_window_30", n, bench::random_circuit(n, 5 * n, 30, n));
  }
  return 0;
}
