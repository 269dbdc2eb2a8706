// Engine-level costs: two-qubit gates on sparse random graphs and on a 2D cluster, and
// measurement against the degree of the measured qubit.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/controlled_gates.h"
#include "engine/measure.h"
#include "engine/random.h"
#include "engine/register.h"

namespace {

using korvane::clifford::Axis;
using korvane::engine::ControlledGate;
using korvane::engine::Qubit;
using korvane::engine::Register;

class SplitMix final : public korvane::engine::RandomSource {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next_word() override {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }

 private:
  std::uint64_t state_;
};

// Every qubit in |+>, joined to about `degree` others chosen at random, with random VOPs.
Register random_sparse_graph(std::size_t qubits, std::size_t degree, std::mt19937_64& rng) {
  Register reg(qubits);
  for (Qubit q = 0; q < qubits; ++q) reg.apply_clifford(q, korvane::clifford::hadamard);
  std::uniform_int_distribution<Qubit> pick(0, qubits - 1);
  const std::size_t edges = qubits * degree / 2;
  for (std::size_t e = 0; e < edges; ++e) {
    const Qubit a = pick(rng);
    const Qubit b = pick(rng);
    if (a == b || reg.has_edge(a, b) || reg.node(a).neighbors.size() >= degree ||
        reg.node(b).neighbors.size() >= degree)
      continue;
    reg.add_edge(a, b);
  }
  std::uniform_int_distribution<int> vop(0, 23);
  for (Qubit q = 0; q < qubits; ++q)
    reg.node(q).vop = static_cast<korvane::clifford::Vop>(vop(rng));
  return reg;
}

double mean_degree(const Register& reg) {
  std::size_t total = 0;
  for (const auto& node : reg.nodes()) total += node.neighbors.size();
  return reg.size() == 0 ? 0.0 : static_cast<double>(total) / static_cast<double>(reg.size());
}

// cx on random pairs of a sparse random graph; each pair is used twice so that the circuit undoes
// itself and the graph stays as sparse as it started.
void BM_cx_on_sparse_graph(benchmark::State& state) {
  const auto qubits = static_cast<std::size_t>(state.range(0));
  const auto degree = static_cast<std::size_t>(state.range(1));
  std::mt19937_64 rng(12345);
  Register reg = random_sparse_graph(qubits, degree, rng);
  std::uniform_int_distribution<Qubit> pick(0, qubits - 1);
  std::vector<std::pair<Qubit, Qubit>> pairs(1 << 16);
  for (auto& [a, b] : pairs) {
    do {
      a = pick(rng);
      b = pick(rng);
    } while (a == b);
  }
  std::size_t next = 0;
  for (auto _ : state) {
    const auto [a, b] = pairs[next++ & (pairs.size() - 1)];
    korvane::engine::apply_controlled_gate(reg, ControlledGate::cx, a, b);
    korvane::engine::apply_controlled_gate(reg, ControlledGate::cx, a, b);
  }
  state.SetItemsProcessed(2 * state.iterations());
  state.counters["mean_degree_after"] = mean_degree(reg);
}
BENCHMARK(BM_cx_on_sparse_graph)
    ->ArgsProduct({{1000, 100000, 10000000}, {4, 16}})
    ->ArgNames({"N", "degree"})
    ->Unit(benchmark::kNanosecond);

// Builds a side x side 2D cluster state: h on every qubit, then cz along every grid edge.
void BM_build_2d_cluster(benchmark::State& state) {
  const auto side = static_cast<std::size_t>(state.range(0));
  std::size_t gates = 0;
  for (auto _ : state) {
    Register reg(side * side);
    for (Qubit q = 0; q < side * side; ++q) reg.apply_clifford(q, korvane::clifford::hadamard);
    for (std::size_t row = 0; row < side; ++row) {
      for (std::size_t col = 0; col < side; ++col) {
        const Qubit q = row * side + col;
        if (col + 1 < side) korvane::engine::cz(reg, q, q + 1);
        if (row + 1 < side) korvane::engine::cz(reg, q, q + side);
      }
    }
    gates += side * side + 2 * side * (side - 1);
    benchmark::DoNotOptimize(reg);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(gates));
}
BENCHMARK(BM_build_2d_cluster)
    ->Arg(32)
    ->Arg(316)
    ->Arg(1000)
    ->ArgName("side")
    ->Unit(benchmark::kMillisecond);

// One measurement of the centre of a star with `degree` leaves (all VOPs the identity), timed
// alone; the star is rebuilt between measurements outside the timed region.
void BM_measure_star_centre(benchmark::State& state) {
  const auto axis = static_cast<Axis>(state.range(0));
  const auto degree = static_cast<std::size_t>(state.range(1));
  SplitMix source(7);
  Register reg(degree + 1);
  for (auto _ : state) {
    for (Qubit q = 0; q <= degree; ++q) {
      reg.node(q).neighbors.clear();
      reg.node(q).vop = korvane::clifford::identity;
    }
    for (Qubit leaf = 1; leaf <= degree; ++leaf) reg.add_edge(0, leaf);
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(korvane::engine::measure(reg, 0, axis, source));
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
}
BENCHMARK(BM_measure_star_centre)
    ->ArgsProduct({{0, 1, 2}, {1, 4, 16, 64, 256}})
    ->ArgNames({"axis", "degree"})
    ->UseManualTime()
    ->Unit(benchmark::kNanosecond);

}  // namespace
