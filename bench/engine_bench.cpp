// Engine costs, without Python: single-qubit gates, controlled gates, measurements and local
// complementation against the degree of the qubits involved, and a random circuit against the
// register size.
//
// Operations that change the graph run in batches on a copy of a pristine random graph; the copy
// is restored between batches outside the timed region, so the degree stays where it was set.
// Each such benchmark reports the mean degree of the operands it actually met (`operand_degree`).
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "korvane/circuit/gates/gate_table.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/local_complement.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/random/random_source.h"
#include "korvane/engine/register.h"
#include "split_mix.h"
#include "workloads.h"

namespace {

namespace clifford = korvane::clifford;
namespace engine = korvane::engine;
using clifford::Axis;
using clifford::Vop;
using engine::Qubit;
using engine::Register;
using korvane::bench::SplitMix;

const engine::ControlledPauli cx =
    korvane::circuit::gate_of(korvane::circuit::gate_named("CX")).controlled;
const engine::ControlledPauli cz =
    korvane::circuit::gate_of(korvane::circuit::gate_named("CZ")).controlled;

// Adds the edge a-b unless it exists, is a loop, or would take either end past `degree`.
void join_if_room(Register& reg, Qubit a, Qubit b, std::size_t degree) {
  if (a == b || reg.degree(a) >= degree || reg.degree(b) >= degree || reg.has_edge(a, b)) return;
  reg.add_edge_if_absent(a, b);
}

void randomize_vops(Register& reg, std::mt19937_64& rng) {
  std::uniform_int_distribution<int> vop(0, clifford::vop_count - 1);
  for (Qubit q = 0; q < reg.size(); ++q) reg.set_vop(q, static_cast<Vop>(vop(rng)));
}

// Every qubit joined to at most `degree` others chosen at random (most reach it), random VOPs.
Register random_graph(std::size_t qubits, std::size_t degree, std::mt19937_64& rng) {
  Register reg(qubits);
  std::uniform_int_distribution<Qubit> pick(0, qubits - 1);
  const std::size_t attempts = 4 * qubits * degree;
  for (std::size_t attempt = 0; attempt < attempts; ++attempt) {
    const Qubit a = pick(rng);
    const Qubit b = pick(rng);
    join_if_room(reg, a, b, degree);
  }
  randomize_vops(reg, rng);
  return reg;
}

std::vector<Qubit> random_qubits(std::size_t count, std::size_t qubits, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<Qubit> pick(0, qubits - 1);
  std::vector<Qubit> chosen(count);
  for (Qubit& q : chosen) q = pick(rng);
  return chosen;
}

// Distinct pairs, flattened: a0, b0, a1, b1, ...
std::vector<Qubit> random_pairs(std::size_t count, std::size_t qubits, std::uint64_t seed) {
  std::vector<Qubit> pairs = random_qubits(2 * count, qubits, seed);
  for (std::size_t i = 0; i < pairs.size(); i += 2) {
    if (pairs[i] == pairs[i + 1]) pairs[i + 1] = (pairs[i + 1] + 1) % qubits;
  }
  return pairs;
}

double mean_degree(const Register& reg) {
  return reg.size() == 0
             ? 0.0
             : 2.0 * static_cast<double>(reg.edge_count()) / static_cast<double>(reg.size());
}

// Size of the graph that degree sweeps run on: big enough that one batch touches a small part
// of it, small enough that restoring it between batches stays cheap.
constexpr std::size_t sweep_qubits = 4096;
constexpr std::size_t batch = 32;

// Runs `operation(reg, k)` for k = 0 .. batch-1 on a fresh copy of `pristine` per iteration and
// times only that. `operands(k)` names the qubits whose degree, as the operation meets it, is
// recorded (one read each, inside the timed region).
template <class Operation, class Operands>
void run_batches(benchmark::State& state, const Register& pristine, Operation operation,
                 Operands operands) {
  Register reg = pristine;
  std::size_t degree_sum = 0;
  std::size_t degree_count = 0;
  for (auto _ : state) {
    reg = pristine;  // reuses the lists' storage
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < batch; ++k) {
      for (const Qubit q : operands(k)) degree_sum += reg.degree(q);
      operation(reg, k);
    }
    const auto stop = std::chrono::steady_clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    degree_count += batch * operands(0).size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(batch * state.iterations()));
  state.counters["operand_degree"] =
      degree_count == 0 ? 0.0 : static_cast<double>(degree_sum) / static_cast<double>(degree_count);
  state.counters["mean_degree"] = mean_degree(pristine);
}

// --- single-qubit gates: one table lookup, whatever N ---------------------------------------

void BM_single_qubit_gate(benchmark::State& state) {
  const auto gate_index = static_cast<std::size_t>(state.range(0));
  const auto qubits = static_cast<std::size_t>(state.range(1));
  // The workloads' single-qubit gates, labelled by their Korvane methods.
  const korvane::circuit::GateId id = korvane::bench::single_gates[gate_index];
  const Vop gate = korvane::circuit::vop_of(id);
  state.SetLabel(korvane::circuit::gate_of(id).method.name);
  Register reg(qubits);
  const std::vector<Qubit> targets = random_qubits(1 << 16, qubits, 1);
  std::size_t next = 0;
  for (auto _ : state) {
    reg.apply_clifford(targets[next++ & (targets.size() - 1)], gate);
  }
  benchmark::DoNotOptimize(reg.vop(0));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_single_qubit_gate)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1000}})
    ->ArgsProduct({{3}, {100000, 10000000}})
    ->ArgNames({"gate", "N"});

// --- controlled gates and measurement against degree ----------------------------------------

void BM_cz_by_degree(benchmark::State& state) {
  const auto degree = static_cast<std::size_t>(state.range(0));
  std::mt19937_64 rng(11);
  const Register pristine = random_graph(sweep_qubits, degree, rng);
  const std::vector<Qubit> pairs = random_pairs(batch, sweep_qubits, 12);
  run_batches(
      state, pristine,
      [&](Register& reg, std::size_t k) { engine::cz(reg, pairs[2 * k], pairs[2 * k + 1]); },
      [&](std::size_t k) {
        return std::array{pairs[2 * k], pairs[2 * k + 1]};
      });
}
BENCHMARK(BM_cz_by_degree)
    ->ArgName("degree")
    ->DenseRange(0, 4, 1)
    ->Arg(6)
    ->Arg(8)
    ->Arg(12)
    ->Arg(16)
    ->Arg(24)
    ->UseManualTime();

void BM_cx_by_degree(benchmark::State& state) {
  const auto degree = static_cast<std::size_t>(state.range(0));
  std::mt19937_64 rng(13);
  const Register pristine = random_graph(sweep_qubits, degree, rng);
  const std::vector<Qubit> pairs = random_pairs(batch, sweep_qubits, 14);
  run_batches(
      state, pristine,
      [&](Register& reg, std::size_t k) {
        engine::apply_controlled_pauli(reg, cx, pairs[2 * k], pairs[2 * k + 1]);
      },
      [&](std::size_t k) {
        return std::array{pairs[2 * k], pairs[2 * k + 1]};
      });
}
BENCHMARK(BM_cx_by_degree)->ArgName("degree")->Arg(2)->Arg(4)->Arg(8)->Arg(16)->UseManualTime();

void BM_measure_by_degree(benchmark::State& state) {
  const auto axis = static_cast<Axis>(state.range(0));
  const auto degree = static_cast<std::size_t>(state.range(1));
  state.SetLabel(std::string("measure_") + "xyz"[state.range(0)]);
  std::mt19937_64 rng(15);
  const Register pristine = random_graph(sweep_qubits, degree, rng);
  const std::vector<Qubit> targets = random_qubits(batch, sweep_qubits, 16);
  SplitMix source(17);
  run_batches(
      state, pristine,
      [&](Register& reg, std::size_t k) {
        benchmark::DoNotOptimize(engine::measure(reg, targets[k], axis, source));
      },
      [&](std::size_t k) { return std::array{targets[k]}; });
}
BENCHMARK(BM_measure_by_degree)
    ->ArgsProduct({{0, 1, 2}, {0, 2, 4, 8, 16, 24}})
    ->ArgNames({"axis", "degree"})
    ->UseManualTime();

// Local complementation at the centre of a star of `degree` leaves: the leaves become a complete
// graph, and a second complementation turns them back into a star, so the degree never drifts.
void BM_local_complement_by_degree(benchmark::State& state) {
  const auto degree = static_cast<std::size_t>(state.range(0));
  Register reg(degree + 1);
  for (Qubit leaf = 1; leaf <= degree; ++leaf) reg.add_edge_if_absent(0, leaf);
  for (auto _ : state) {
    engine::local_complement(reg, 0);
    engine::local_complement(reg, 0);
  }
  benchmark::DoNotOptimize(reg.vop(0));
  state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_local_complement_by_degree)->ArgName("degree")->RangeMultiplier(2)->Range(2, 128);

// --- controlled-Z on bounded-degree graphs against the register size ------------------------

// Every qubit joined to up to `degree` others within a window of 1024 places ahead of it (so the
// graph builds in time linear in N), with random VOPs.
Register windowed_random_graph(std::size_t qubits, std::size_t degree, std::mt19937_64& rng) {
  constexpr std::size_t window = 1024;
  Register reg(qubits);
  std::uniform_int_distribution<std::size_t> offset(1, window);
  for (Qubit a = 0; a < qubits; ++a) {
    for (std::size_t k = 0; k < degree; ++k) {
      const Qubit b = (a + offset(rng)) % qubits;
      join_if_room(reg, a, b, degree);
    }
  }
  randomize_vops(reg, rng);
  return reg;
}

// cz on random pairs of a bounded-degree graph of N qubits. Graphs up to 10^5 qubits are restored
// between batches; a run on 10^7 qubits touches so small a part of the graph that it keeps its
// degree without (operand_degree shows the degree actually met).
void BM_cz_bounded_degree_by_size(benchmark::State& state) {
  const auto qubits = static_cast<std::size_t>(state.range(0));
  const auto degree = static_cast<std::size_t>(state.range(1));
  std::mt19937_64 rng(31);
  const std::vector<Qubit> pairs = random_pairs(1 << 16, qubits, 32);
  if (qubits <= 100000) {
    const Register pristine = windowed_random_graph(qubits, degree, rng);
    std::size_t next = 0;
    run_batches(
        state, pristine,
        [&](Register& reg, std::size_t k) {
          engine::cz(reg, pairs[2 * ((next + k) % (1 << 16))],
                     pairs[2 * ((next + k) % (1 << 16)) + 1]);
          if (k + 1 == batch) next += batch;
        },
        [&](std::size_t k) {
          return std::array{pairs[2 * ((next + k) % (1 << 16))],
                            pairs[2 * ((next + k) % (1 << 16)) + 1]};
        });
    return;
  }
  Register reg = windowed_random_graph(qubits, degree, rng);
  const double graph_degree = mean_degree(reg);
  std::size_t next = 0;
  std::size_t degree_sum = 0;
  for (auto _ : state) {
    const std::size_t k = next++ % (1 << 16);
    const Qubit a = pairs[2 * k];
    const Qubit b = pairs[2 * k + 1];
    degree_sum += reg.degree(a) + reg.degree(b);
    const auto start = std::chrono::steady_clock::now();
    engine::cz(reg, a, b);
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["operand_degree"] =
      static_cast<double>(degree_sum) / (2.0 * static_cast<double>(state.iterations()));
  state.counters["mean_degree"] = graph_degree;
}
BENCHMARK(BM_cz_bounded_degree_by_size)
    ->ArgsProduct({{1000, 100000, 10000000}, {4, 16}})
    ->ArgNames({"N", "degree"})
    ->UseManualTime()
    ->Unit(benchmark::kNanosecond);

// --- a random circuit against the register size ---------------------------------------------

// A cluster ring, then steps at random places a: random single-qubit gates on a and a + 1, cz
// or cx on them, a Z measurement of a (which cuts all its edges), and a re-joins the ring as a
// fresh |+> with cz to a - 1 and a + 1. The graph stays sparse at any N while gates keep meeting
// qubits with neighbours. Per step: seven operations.
void BM_random_circuit_by_size(benchmark::State& state) {
  const auto qubits = static_cast<std::size_t>(state.range(0));
  Register reg(qubits);
  for (Qubit q = 0; q < qubits; ++q) reg.apply_clifford(q, clifford::hadamard);
  for (Qubit q = 0; q < qubits; ++q) engine::cz(reg, q, (q + 1) % qubits);
  constexpr std::size_t steps = 1 << 16;
  const std::vector<Qubit> places = random_qubits(steps, qubits, 21);
  const std::vector<Qubit> gate_choice = random_qubits(2 * steps, 6, 22);
  std::array<Vop, korvane::bench::single_gates.size()> single_vops{};
  for (std::size_t i = 0; i < single_vops.size(); ++i) {
    single_vops[i] = korvane::circuit::vop_of(korvane::bench::single_gates[i]);
  }
  SplitMix source(23);
  std::size_t step = 0;
  std::size_t degree_sum = 0;
  for (auto _ : state) {
    const std::size_t k = step++ & (steps - 1);
    const Qubit a = places[k];
    const Qubit next = (a + 1) % qubits;
    const Qubit previous = (a + qubits - 1) % qubits;
    reg.apply_clifford(a, single_vops[gate_choice[2 * k]]);
    reg.apply_clifford(next, single_vops[gate_choice[2 * k + 1]]);
    degree_sum += reg.degree(a) + reg.degree(next);
    engine::apply_controlled_pauli(reg, (k & 1) != 0 ? cx : cz, a, next);
    benchmark::DoNotOptimize(engine::measure(reg, a, Axis::Z, source));
    reg.apply_clifford(a, clifford::hadamard);
    engine::cz(reg, previous, a);
    engine::cz(reg, a, next);
  }
  state.SetItemsProcessed(7 * state.iterations());
  state.counters["operand_degree"] =
      static_cast<double>(degree_sum) / (2.0 * static_cast<double>(state.iterations()));
  state.counters["mean_degree"] = mean_degree(reg);
}
BENCHMARK(BM_random_circuit_by_size)
    ->ArgName("N")
    ->RangeMultiplier(10)
    ->Range(1000, 10000000)
    ->Unit(benchmark::kNanosecond);

}  // namespace
