// Cost per operation of the engine, window by window, as one seeded circuit fills the graph in,
// with the adjacency storage forced or left automatic: the figures from which the sparse/dense
// thresholds and the memory budget are set. No Python in the loop, so the time is the engine's.
//
// Usage: korvane_storage_bench --n N --ops K [--window W] [--seed S]
//          [--storage automatic|sparse|dense|tableau] [--every E] [--stop-window-seconds T]
//          [--breakdown] [--unitary]
//   --window W   partners at most W places apart (default N: all pairs)
//   --seed S     circuit seed (default N, as the all-pairs benchmark; the long local run uses 7)
//   --every E    operations per reported window (default 5000)
//   --stop-window-seconds T   stop after a window that took longer than T seconds
//   --calibrate D  time local complementation on a random graph of mean degree D instead
//   --tableau    run the circuit on the stabilizer tableau of the tests instead (the yardstick)
//   --unitary    the gate-only mix (half cz or cx on any pair, half h, s, x or z) instead
//   --tableau-divisor D  divide the thresholds of the choice between graph and tableau by D
//   --tableau-from K     force the tableau for every operation from the K-th on
//   --breakdown  also time every operation alone and report, per rule and operand degree, where
//                the time went
//   --dump FILE  write the final register as text (size, VOPs, one edge per line)
// Prints one JSON object per window; with --breakdown one more per rule and degree range (from
// 0, 1, 4, 16, ...) at the end.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "korvane/circuit/gates/gate_table.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/local_complement.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/random/random_source.h"
#include "korvane/engine/register.h"
#include "korvane/engine/rules/controlled_z.h"
#include "split_mix.h"
#include "tableau.h"
#include "workloads.h"

namespace {

namespace circuit = korvane::circuit;
namespace clifford = korvane::clifford;
namespace engine = korvane::engine;
namespace bench = korvane::bench;
namespace circuit = korvane::circuit;
using bench::SplitMix;
using clifford::Axis;
using clifford::Vop;
using engine::Qubit;
using engine::Register;
using Clock = std::chrono::steady_clock;

// The calling thread's CPU time in seconds: on a shared machine the steadier of the two clocks.
double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Options {
  std::size_t qubits = 0;
  std::size_t ops = 0;
  std::size_t window = 0;
  std::uint64_t seed = 0;
  bool seed_given = false;
  engine::Storage storage = engine::Storage::automatic;
  std::size_t every = 5000;
  double stop_window_seconds = 0;
  bool breakdown = false;
  std::string dump;                  // where to write the final graph, if anywhere
  bool tableau = false;              // time the stabilizer tableau on the circuit instead
  bool unitary = false;              // the gate-only mix on all pairs instead
  std::size_t tableau_divisor = 1;   // divides the thresholds of the graph/tableau choice
  std::size_t tableau_from = 0;      // when nonzero, the tableau is forced from this operation on
  std::size_t calibrate_degree = 0;  // time local complementation on a random graph instead
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument("missing value after " + std::string(name));
      return argv[++i];
    };
    if (name == "--n") {
      options.qubits = std::stoul(value());
    } else if (name == "--ops") {
      options.ops = std::stoul(value());
    } else if (name == "--window") {
      options.window = std::stoul(value());
    } else if (name == "--seed") {
      options.seed = std::stoull(value());
      options.seed_given = true;
    } else if (name == "--storage") {
      const std::string storage = value();
      if (storage == "sparse") {
        options.storage = engine::Storage::sparse;
      } else if (storage == "dense") {
        options.storage = engine::Storage::dense;
      } else if (storage == "tableau") {
        options.storage = engine::Storage::tableau;
      } else if (storage != "automatic") {
        throw std::invalid_argument("storage is automatic, sparse, dense or tableau");
      }
    } else if (name == "--every") {
      options.every = std::stoul(value());
    } else if (name == "--stop-window-seconds") {
      options.stop_window_seconds = std::stod(value());
    } else if (name == "--breakdown") {
      options.breakdown = true;
    } else if (name == "--calibrate") {
      options.calibrate_degree = std::stoul(value());
    } else if (name == "--tableau-from") {
      options.tableau_from = std::stoul(value());
    } else if (name == "--tableau-divisor") {
      options.tableau_divisor = std::stoul(value());
    } else if (name == "--unitary") {
      options.unitary = true;
    } else if (name == "--tableau") {
      options.tableau = true;
    } else if (name == "--dump") {
      options.dump = value();
    } else {
      throw std::invalid_argument("unknown argument " + std::string(name));
    }
  }
  if (options.calibrate_degree != 0 && options.ops == 0) options.ops = 1;
  if (options.qubits < 2 || options.ops == 0 || options.every == 0)
    throw std::invalid_argument("--n (at least 2) and --ops are needed");
  if (options.window == 0) options.window = options.qubits;
  if (!options.seed_given) options.seed = options.qubits;
  return options;
}

// Resident and peak resident memory of this process, in bytes.
std::pair<std::size_t, std::size_t> resident_memory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  std::size_t resident = 0;
  std::size_t peak = 0;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) resident = std::stoul(line.substr(6)) * 1024;
    if (line.rfind("VmHWM:", 0) == 0) peak = std::stoul(line.substr(6)) * 1024;
  }
  return {resident, peak};
}

// Which rule an operation meets, read off the register before it runs (the same decisions the
// controlled-Z and measurement code take), and the degrees of its operands.
struct Rule {
  std::string name;
  std::size_t degree = 0;  // the larger operand degree
};

Rule classify(const Register& reg, const bench::Op& op) {
  if (op.kind == bench::OpKind::single) return {"single", reg.degree(op.qubit)};
  if (op.kind == bench::OpKind::measure) {
    const Vop adjoint = clifford::adjoint(reg.vop(op.qubit));
    const Axis graph_axis = clifford::image_axis(op.axis(), adjoint);
    static constexpr std::array<const char*, 3> names{"measure graph X", "measure graph Y",
                                                      "measure graph Z"};
    return {names[static_cast<std::size_t>(graph_axis)], reg.degree(op.qubit)};
  }
  // The basis changes of the gate family, then the controlled-Z's case analysis.
  auto to_z = [](Axis axis) -> Vop {
    if (axis == Axis::Z) return clifford::identity;
    if (axis == Axis::X) return clifford::hadamard;
    return clifford::product(clifford::hadamard, clifford::s_dagger);
  };
  const engine::ControlledPauli gate = circuit::gate_of(op.gate()).controlled;
  const Qubit a = op.qubit;
  const Qubit b = op.target;
  const Vop vop_a = clifford::product(to_z(gate.control), reg.vop(a));
  const Vop vop_b = clifford::product(to_z(gate.target), reg.vop(b));
  const std::size_t degree_a = reg.degree(a);
  const std::size_t degree_b = reg.degree(b);
  const std::size_t degree = std::max(degree_a, degree_b);
  const bool joined = reg.has_edge(a, b);
  const std::size_t others_a = degree_a - (joined ? 1 : 0);
  const std::size_t others_b = degree_b - (joined ? 1 : 0);
  if (others_a == 0 && others_b == 0) return {"cz table", degree};
  const engine::ZImage image_a = engine::z_image(vop_a);
  const engine::ZImage image_b = engine::z_image(vop_b);
  if ((image_a.axis == Axis::X && degree_a == 0) || (image_b.axis == Axis::X && degree_b == 0))
    return {"cz classical", degree};
  if (image_a.axis == Axis::X && image_b.axis == Axis::X && !joined)
    return {"cz across neighbourhoods", degree};
  const char* const axes = "XYZ";
  if (image_a.axis != Axis::Z && image_b.axis != Axis::Z)
    return {std::string("cz via local complementation (") + axes[int(image_a.axis)] +
                axes[int(image_b.axis)] + ")",
            degree};
  const Axis other = image_a.axis == Axis::Z ? image_b.axis : image_a.axis;
  return {std::string("cz from Z, other on ") + axes[static_cast<int>(other)], degree};
}

void run(const bench::Op& op, Register& reg, engine::RandomSource& source) {
  switch (op.kind) {
    case bench::OpKind::single:
      reg.apply_clifford(op.qubit, circuit::vop_of(op.gate()));
      break;
    case bench::OpKind::two_qubit:
      engine::apply_controlled_pauli(reg, circuit::gate_of(op.gate()).controlled, op.qubit,
                                     op.target);
      break;
    case bench::OpKind::measure:
      engine::measure(reg, op.qubit, op.axis(), source);
      break;
  }
}

struct GraphFigures {
  std::size_t edges = 0;
  std::size_t max_degree = 0;
  std::size_t bandwidth = 0;  // the largest |a - b| over edges a-b
};

GraphFigures graph_figures(const Register& reg) {
  GraphFigures figures;
  for (Qubit q = 0; q < reg.size(); ++q) {
    std::size_t degree = 0;
    reg.for_each_neighbor(q, [&](Qubit x) {
      ++degree;
      figures.bandwidth = std::max(figures.bandwidth, x > q ? x - q : q - x);
    });
    figures.edges += degree;
    figures.max_degree = std::max(figures.max_degree, degree);
  }
  figures.edges /= 2;
  return figures;
}

// Where a window's time went: operations by kind on the graph and on the tableau, and the
// operations during which the state moved between the two (their conversion included).
class Representations {
 public:
  void add(bench::OpKind kind, bool was_tableau, bool is_tableau, double seconds) {
    if (was_tableau != is_tableau) {
      ++(is_tableau ? entries_ : returns_);
      switch_seconds_ += seconds;
      return;
    }
    const std::size_t place = (is_tableau ? 3 : 0) + static_cast<std::size_t>(kind);
    seconds_[place] += seconds;
    ++counts_[place];
  }

  // As JSON members: "entries", "returns", "switch_seconds", then the seconds and count of each
  // kind where it ran ("graph_measure_seconds", "tableau_gate_count", ...).
  std::string json() const {
    static constexpr std::array<const char*, 3> kinds{"single", "gate", "measure"};
    std::array<char, 160> buffer{};
    std::snprintf(buffer.data(), buffer.size(),
                  "\"entries\": %zu, \"returns\": %zu, \"switch_seconds\": %.3f", entries_,
                  returns_, switch_seconds_);
    std::string text = buffer.data();
    for (std::size_t place = 0; place < seconds_.size(); ++place) {
      const char* const where = place < 3 ? "graph" : "tableau";
      std::snprintf(buffer.data(), buffer.size(), ", \"%s_%s_seconds\": %.3f, \"%s_%s_count\": %zu",
                    where, kinds[place % 3], seconds_[place], where, kinds[place % 3],
                    counts_[place]);
      text += buffer.data();
    }
    return text;
  }

 private:
  std::size_t entries_ = 0;
  std::size_t returns_ = 0;
  double switch_seconds_ = 0;
  std::array<double, 6> seconds_{};
  std::array<std::size_t, 6> counts_{};
};

std::size_t degree_bucket(std::size_t degree) {
  std::size_t bucket = 1;
  while (bucket <= degree) bucket *= 4;
  return bucket / 4;
}

}  // namespace

// The stabilizer tableau of the tests on the same circuit, window by window: the yardstick.
void run_on_tableau(const Options& options, const bench::Circuit& operations) {
  using korvane::testing::Tableau;
  std::array<Tableau::Gate, bench::single_gate_names.size()> tableau_singles{};
  for (std::size_t i = 0; i < tableau_singles.size(); ++i) {
    tableau_singles[i] = Tableau::single_qubit_gate(bench::single_gate_names[i]);
  }
  Tableau tableau(options.qubits);
  SplitMix source(options.seed * 7919 + 1);
  double total_seconds = 0;
  for (std::size_t start = 0; start < operations.size(); start += options.every) {
    const std::size_t end = std::min(operations.size(), start + options.every);
    const auto window_start = Clock::now();
    const double cpu_start = thread_seconds();
    for (std::size_t i = start; i < end; ++i) {
      const bench::Op& op = operations[i];
      if (op.kind == bench::OpKind::single) {
        (tableau.*tableau_singles[op.which])(op.qubit);
      } else if (op.kind == bench::OpKind::two_qubit) {
        const engine::ControlledPauli gate = circuit::gate_of(op.gate()).controlled;
        tableau.controlled(gate.control, gate.target, op.qubit, op.target);
      } else {
        tableau.measure(op.qubit, op.axis(), (source.next_u32() >> 31) != 0);
      }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - window_start).count();
    const double cpu_seconds = thread_seconds() - cpu_start;
    total_seconds += seconds;
    std::printf(
        "{\"n\": %zu, \"window\": %zu, \"storage\": \"tableau\", \"done\": %zu, "
        "\"us_per_op\": %.3f, \"cpu_us_per_op\": %.3f, \"seconds\": %.3f, "
        "\"total_seconds\": %.3f}\n",
        options.qubits, options.window, end, 1e6 * seconds / static_cast<double>(end - start),
        1e6 * cpu_seconds / static_cast<double>(end - start), seconds, total_seconds);
    std::fflush(stdout);
    if (options.stop_window_seconds > 0 && seconds > options.stop_window_seconds) break;
  }
}

// Local complementation on a random graph of the given mean degree, in the chosen storage: the
// two primitives whose costs set the thresholds (a toggle of one pair in two sets, a word of a
// row XOR). Each vertex is complemented twice, which restores the graph.
void calibrate(const Options& options) {
  engine::StorageThresholds thresholds;
  thresholds.tableau_threshold_divisor = options.tableau_divisor;
  Register reg(options.qubits, options.storage, thresholds);
  std::mt19937_64 dice(options.seed);
  std::uniform_int_distribution<Qubit> any(0, options.qubits - 1);
  const std::size_t edges = options.qubits * options.calibrate_degree / 2;
  while (reg.edge_count() < edges) {
    const Qubit a = any(dice);
    const Qubit b = any(dice);
    if (a != b) reg.add_edge_if_absent(a, b);
  }
  double best = 1e300;
  std::size_t pairs = 0;
  std::size_t degrees = 0;
  constexpr std::size_t vertices = 16;
  for (int repeat = 0; repeat < 5; ++repeat) {
    pairs = 0;
    degrees = 0;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < vertices; ++i) {
      const Qubit v = any(dice);
      const std::size_t degree = reg.degree(v);
      pairs += 2 * (degree * (degree - 1) / 2);
      degrees += 2 * degree;
      engine::local_complement(reg, v);
      engine::local_complement(reg, v);
    }
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  const double words = static_cast<double>(degrees) * static_cast<double>(options.qubits) / 64;
  std::printf(
      "{\"n\": %zu, \"storage\": \"%s\", \"mean_degree\": %zu, \"us_per_complementation\": "
      "%.2f, \"ns_per_pair\": %.3f, \"ns_per_row_word\": %.4f, \"rss_mib\": %.0f}\n",
      options.qubits, reg.is_dense() ? "dense" : "sparse", options.calibrate_degree,
      1e6 * best / (2 * vertices), 1e9 * best / static_cast<double>(pairs), 1e9 * best / words,
      static_cast<double>(resident_memory().first) / (1 << 20));
}

int main(int argc, char** argv) {
  Options options;
  try {
    options = parse(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
  const bench::Circuit operations =
      options.unitary
          ? bench::cz_cx_circuit(options.qubits, options.ops, options.seed)
          : bench::random_circuit(options.qubits, options.ops, options.window, options.seed);
  if (options.calibrate_degree != 0) {
    calibrate(options);
    return 0;
  }
  if (options.tableau) {
    run_on_tableau(options, operations);
    return 0;
  }
  SplitMix source(options.seed * 7919 + 1);
  engine::StorageThresholds thresholds;
  thresholds.tableau_threshold_divisor = options.tableau_divisor;
  Register reg(options.qubits, options.storage, thresholds);

  struct Cost {
    double seconds = 0;
    std::size_t count = 0;
  };
  std::map<std::pair<std::string, std::size_t>, Cost> costs;
  double total_seconds = 0;

  for (std::size_t start = 0; start < operations.size(); start += options.every) {
    const std::size_t end = std::min(operations.size(), start + options.every);
    const auto window_start = Clock::now();
    const double cpu_start = thread_seconds();
    Representations representations;
    for (std::size_t i = start; i < end; ++i) {
      const bench::Op& op = operations[i];
      if (options.tableau_from != 0 && i == options.tableau_from) {
        reg.set_storage(engine::Storage::tableau);
      }
      // Classifying reads the graph, which brings a tableau back first: it goes before the clock.
      const std::optional<Rule> rule =
          options.breakdown ? std::optional<Rule>(classify(reg, op)) : std::nullopt;
      const bool was_tableau = reg.holds_tableau();
      const auto op_start = Clock::now();
      run(op, reg, source);
      const double op_seconds = std::chrono::duration<double>(Clock::now() - op_start).count();
      if (rule) {
        Cost& cost = costs[{rule->name, degree_bucket(rule->degree)}];
        cost.seconds += op_seconds;
        ++cost.count;
      }
      representations.add(op.kind, was_tableau, reg.holds_tableau(), op_seconds);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - window_start).count();
    const double cpu_seconds = thread_seconds() - cpu_start;
    total_seconds += seconds;
    // A register on the tableau would have to turn back into a graph to be measured: its graph
    // figures are left out (zero) instead.
    const bool on_tableau = reg.holds_tableau();
    const GraphFigures figures = on_tableau ? GraphFigures{} : graph_figures(reg);
    const auto [resident, peak] = resident_memory();
    std::printf(
        "{\"n\": %zu, \"window\": %zu, \"storage\": \"%s\", \"done\": %zu, \"us_per_op\": %.3f, "
        "\"cpu_us_per_op\": %.3f, \"seconds\": %.3f, \"total_seconds\": %.3f, \"edges\": %zu, "
        "\"mean_degree\": %.1f, "
        "\"max_degree\": %zu, \"bandwidth\": %zu, \"dense\": %s, \"tableau\": %s, "
        "\"rss_mib\": %.0f, \"peak_rss_mib\": %.0f, %s}\n",
        options.qubits, options.window,
        options.storage == engine::Storage::sparse    ? "sparse"
        : options.storage == engine::Storage::dense   ? "dense"
        : options.storage == engine::Storage::tableau ? "tableau"
                                                      : "automatic",
        end, 1e6 * seconds / static_cast<double>(end - start),
        1e6 * cpu_seconds / static_cast<double>(end - start), seconds, total_seconds, figures.edges,
        2.0 * static_cast<double>(figures.edges) / static_cast<double>(reg.size()),
        figures.max_degree, figures.bandwidth, !on_tableau && reg.is_dense() ? "true" : "false",
        on_tableau ? "true" : "false", static_cast<double>(resident) / (1 << 20),
        static_cast<double>(peak) / (1 << 20), representations.json().c_str());
    std::fflush(stdout);
    if (options.stop_window_seconds > 0 && seconds > options.stop_window_seconds) break;
  }
  if (!options.dump.empty()) {
    // The register as plain text: the size, every VOP, then one edge "a b" (a < b) per line.
    std::ofstream out(options.dump);
    out << reg.size() << "\n";
    for (Qubit q = 0; q < reg.size(); ++q)
      out << int(reg.vop(q)) << (q + 1 < reg.size() ? ' ' : '\n');
    for (Qubit q = 0; q < reg.size(); ++q)
      for (const Qubit x : reg.neighbors(q))
        if (q < x) out << q << ' ' << x << '\n';
  }
  for (const auto& [key, cost] : costs) {
    std::printf(
        "{\"rule\": \"%s\", \"degree_from\": %zu, \"count\": %zu, \"seconds\": %.4f, "
        "\"us_each\": %.2f, \"share\": %.4f}\n",
        key.first.c_str(), key.second, cost.count, cost.seconds,
        1e6 * cost.seconds / static_cast<double>(cost.count), cost.seconds / total_seconds);
  }
  return 0;
}
