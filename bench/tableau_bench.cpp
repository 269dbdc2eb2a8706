// The workload families of workloads.h at the sizes the report compares, and the stabilizer
// tableau's time on each as a yardstick for the engine: every tableau gate is O(n), a
// measurement up to O(n^2 / 64). Registers too large for a tableau (GHZ of 10^6 qubits) are
// written out but not run.
//
// Usage: korvane_tableau_bench [--quick] [--circuits DIR]
//   --quick          the smaller sizes only
//   --circuits DIR   also write each circuit to DIR/<workload>_<n>.ops, so that the Python
//                    benchmark replays exactly the same operations: one 10-byte record per
//                    operation, little-endian: kind (0 single, 1 two-qubit, 2 measurement),
//                    which (gate or axis), qubit (u32), target (u32)
// Prints one JSON object per line: workload, n, ops, circuit (the file, if written), and for
// what the tableau ran, seconds, seconds_per_op and random_outcomes.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tableau.h"
#include "workloads.h"

namespace {

using korvane::bench::Circuit;
using korvane::bench::Op;
using korvane::bench::OpKind;
using korvane::testing::Tableau;

// The tableau's gate for each of the workloads' single-qubit gates, by their place.
const std::array<Tableau::Gate, korvane::bench::single_gate_names.size()> single_gates = [] {
  std::array<Tableau::Gate, korvane::bench::single_gate_names.size()> gates{};
  for (std::size_t i = 0; i < gates.size(); ++i) {
    gates[i] = Tableau::single_qubit_gate(korvane::bench::single_gate_names[i]);
  }
  return gates;
}();

struct Workload {
  const char* name;
  std::size_t qubits;
  Circuit circuit;
  bool on_tableau;
};

std::vector<Workload> workloads(bool quick) {
  namespace bench = korvane::bench;
  using bench::Readout;
  std::vector<Workload> list;
  for (const std::size_t n : {400, 800, 10000, 1000000}) {
    if (quick && n > 800) continue;
    const bool fits = n <= 10000;
    list.push_back({"ghz_chain", n, bench::ghz_chain(n, n, Readout::z_in_order), fits});
    list.push_back({"ghz_star", n, bench::ghz_star(n, n, Readout::z_in_order), fits});
  }
  // 10^5 operations on all pairs.
  for (const std::size_t n : {10, 100, 1000}) {
    if (quick && n > 100) continue;
    list.push_back({"random_all_pairs", n, bench::random_circuit(n, 100000, n, n), true});
  }
  // The long run: 2 x 10^4 qubits, 3 x 10^5 operations, partners within 30 places.
  const std::size_t long_qubits = quick ? 2000 : 20000;
  list.push_back({"long_local_run", long_qubits,
                  bench::random_circuit(long_qubits, 15 * long_qubits, 30, 7), true});
  list.push_back({"cz_cx_10", 10, bench::cz_cx_circuit(10, quick ? 100000 : 1000000, 10), true});
  return list;
}

void write_circuit(const std::string& path, const Circuit& circuit) {
  std::ofstream out(path, std::ios::binary);
  for (const Op& op : circuit) {
    const std::array<std::uint32_t, 2> qubits{static_cast<std::uint32_t>(op.qubit),
                                              static_cast<std::uint32_t>(op.target)};
    std::array<unsigned char, 10> record{static_cast<unsigned char>(op.kind), op.which};
    for (std::size_t i = 0; i < 2; ++i)
      for (std::size_t byte = 0; byte < 4; ++byte)
        record[2 + 4 * i + byte] = static_cast<unsigned char>(qubits[i] >> (8 * byte));
    out.write(reinterpret_cast<const char*>(record.data()), record.size());
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Runs the circuit on a fresh tableau (its construction untimed); returns the seconds taken and
// counts the random outcomes.
double time_on_tableau(const Workload& workload, std::size_t& random_outcomes) {
  Tableau tableau(workload.qubits);
  std::mt19937_64 outcomes(workload.qubits);
  const auto start = std::chrono::steady_clock::now();
  for (const Op& op : workload.circuit) {
    switch (op.kind) {
      case OpKind::single:
        (tableau.*single_gates[op.which])(op.qubit);
        break;
      case OpKind::two_qubit:
        tableau.controlled(korvane::circuit::gate_of(op.gate()).controlled.control,
                           korvane::circuit::gate_of(op.gate()).controlled.target, op.qubit,
                           op.target);
        break;
      case OpKind::measure:
        random_outcomes += tableau.measure(op.qubit, op.axis(), (outcomes() & 1) != 0).random;
        break;
    }
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::string circuits;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--quick") {
      quick = true;
    } else if (argument == "--circuits" && i + 1 < argc) {
      circuits = argv[++i];
    } else {
      std::fprintf(stderr, "usage: korvane_tableau_bench [--quick] [--circuits DIR]\n");
      return 2;
    }
  }
  for (const Workload& workload : workloads(quick)) {
    std::string line = "{\"workload\": \"" + std::string(workload.name) +
                       "\", \"n\": " + std::to_string(workload.qubits) +
                       ", \"ops\": " + std::to_string(workload.circuit.size());
    if (!circuits.empty()) {
      const std::string path =
          circuits + "/" + workload.name + "_" + std::to_string(workload.qubits) + ".ops";
      write_circuit(path, workload.circuit);
      line += ", \"circuit\": \"" + path + "\"";
    }
    if (workload.on_tableau) {
      std::size_t random_outcomes = 0;
      const double seconds = time_on_tableau(workload, random_outcomes);
      char figures[160];
      std::snprintf(figures, sizeof figures,
                    ", \"seconds\": %.6f, \"seconds_per_op\": %.3e, \"random_outcomes\": %zu",
                    seconds, seconds / static_cast<double>(workload.circuit.size()),
                    random_outcomes);
      line += figures;
    }
    std::printf("%s}\n", line.c_str());
    std::fflush(stdout);
  }
  return 0;
}
