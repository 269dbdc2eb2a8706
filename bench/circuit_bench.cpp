// Whole circuits without Python: the 10-qubit cz/cx mix and the 10^6-qubit cluster wire run as one
// compiled circuit, each beside the same operations made by direct engine calls (the floor that
// the circuit layer adds its dispatch to); reading such a circuit; and shots of the
// repetition-code memory experiment, shot by shot and by Pauli frames. The two circuits also run
// with a stop check installed, as every call from Python does (for Ctrl-C), to show its cost.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "korvane/circuit/sampling/frame_sampler.h"
#include "korvane/circuit/sampling/reference.h"
#include "korvane/circuit/sampling/shot_sampler.h"
#include "korvane/circuit/text/parser.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/random/seeded_generator.h"
#include "korvane/engine/random/thread_generator.h"
#include "korvane/engine/register.h"
#include "korvane/engine/stop_check.h"
#include "workloads.h"

namespace {

namespace bench = korvane::bench;
namespace circuit = korvane::circuit;
namespace clifford = korvane::clifford;
namespace engine = korvane::engine;

constexpr std::size_t mix_qubits = 10;
constexpr std::size_t mix_operations = 100'000;
constexpr std::size_t wire_qubits = 1'000'000;

// A stop check that never stops, asked as Python's is: at most every 20 ms of work.
class NeverStop final : public engine::StopCheck {
 public:
  bool stop_requested() override { return stop_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> stop_{false};
};

NeverStop never_stop;

std::string text_of(const bench::Circuit& operations) {
  std::string text;
  for (const bench::Op& op : operations) {
    text.append(op.name()).append(" ");
    if (op.kind == bench::OpKind::single) {
      text.append(std::to_string(op.qubit)).append("\n");
    } else {
      text.append(std::to_string(op.qubit)).append(" ");
      text.append(std::to_string(op.target)).append("\n");
    }
  }
  return text;
}

const bench::Circuit& mix() {
  static const bench::Circuit operations = bench::cz_cx_circuit(mix_qubits, mix_operations, 10);
  return operations;
}

void BM_cz_cx_10_engine_calls(benchmark::State& state) {
  for (auto _ : state) {
    engine::Register reg(mix_qubits);
    for (const bench::Op& op : mix()) {
      if (op.kind == bench::OpKind::single) {
        reg.apply_clifford(op.qubit, circuit::vop_of(op.gate()));
      } else {
        engine::apply_controlled_pauli(reg, circuit::gate_of(op.gate()).controlled, op.qubit,
                                       op.target);
      }
    }
    benchmark::DoNotOptimize(reg.vop(0));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix_operations));
}
BENCHMARK(BM_cz_cx_10_engine_calls);

void run_mix(benchmark::State& state, engine::StopCheck* stop) {
  const circuit::Program program = circuit::parse_circuit(text_of(mix()));
  for (auto _ : state) {
    engine::Register reg(mix_qubits);
    circuit::run_once(program, reg, engine::thread_generator(), nullptr, stop);
    benchmark::DoNotOptimize(reg.vop(0));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix_operations));
}

void BM_cz_cx_10_circuit(benchmark::State& state) { run_mix(state, nullptr); }
BENCHMARK(BM_cz_cx_10_circuit);

void BM_cz_cx_10_circuit_stop_checked(benchmark::State& state) { run_mix(state, &never_stop); }
BENCHMARK(BM_cz_cx_10_circuit_stop_checked);

void BM_cz_cx_10_parse(benchmark::State& state) {
  const std::string text = text_of(mix());
  for (auto _ : state) benchmark::DoNotOptimize(circuit::parse_circuit(text));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix_operations));
  state.SetLabel("lines");
}
BENCHMARK(BM_cz_cx_10_parse);

std::string wire_text() {
  std::string text = "H";
  for (std::size_t q = 0; q < wire_qubits; ++q) text.append(" ").append(std::to_string(q));
  text.append("\nCZ");
  for (std::size_t q = 0; q + 1 < wire_qubits; ++q) {
    text.append(" ").append(std::to_string(q)).append(" ").append(std::to_string(q + 1));
  }
  text.append("\nMX");
  for (std::size_t q = 0; q + 1 < wire_qubits; ++q) text.append(" ").append(std::to_string(q));
  return text.append("\n");
}

constexpr std::int64_t wire_operations = 3 * wire_qubits - 2;

// Both wires include making the register, as Korvane(n) followed by the calls or by run() does.
void BM_cluster_wire_engine_calls(benchmark::State& state) {
  std::vector<std::uint8_t> record(wire_qubits - 1);
  for (auto _ : state) {
    engine::Register reg(wire_qubits);
    engine::RandomSource& source = engine::thread_generator();
    for (std::size_t q = 0; q < wire_qubits; ++q) reg.apply_clifford(q, clifford::hadamard);
    for (std::size_t q = 0; q + 1 < wire_qubits; ++q) engine::cz(reg, q, q + 1);
    for (std::size_t q = 0; q + 1 < wire_qubits; ++q) {
      record[q] = engine::measure(reg, q, clifford::Axis::X, source) ? 1 : 0;
    }
    benchmark::DoNotOptimize(record.data());
  }
  state.SetItemsProcessed(state.iterations() * wire_operations);
}
BENCHMARK(BM_cluster_wire_engine_calls)->Unit(benchmark::kMillisecond);

void run_wire(benchmark::State& state, engine::StopCheck* stop) {
  const circuit::Program program = circuit::parse_circuit(wire_text());
  std::vector<std::uint8_t> record(program.num_measurements);
  for (auto _ : state) {
    engine::Register reg(wire_qubits);
    circuit::run_once(program, reg, engine::thread_generator(), record.data(), stop);
    benchmark::DoNotOptimize(record.data());
  }
  state.SetItemsProcessed(state.iterations() * wire_operations);
}

void BM_cluster_wire_circuit(benchmark::State& state) { run_wire(state, nullptr); }
BENCHMARK(BM_cluster_wire_circuit)->Unit(benchmark::kMillisecond);

void BM_cluster_wire_circuit_stop_checked(benchmark::State& state) { run_wire(state, &never_stop); }
BENCHMARK(BM_cluster_wire_circuit_stop_checked)->Unit(benchmark::kMillisecond);

// Distance 5, 5 rounds, DEPOLARIZE1(0.05) on the data each round, as in the examples.
std::string repetition_text() {
  const std::string round =
      "DEPOLARIZE1(0.05) 0 1 2 3 4\nCX 0 5 1 5 1 6 2 6 2 7 3 7 3 8 4 8\nMR 5 6 7 8\n";
  std::string text = round;
  text.append("DETECTOR rec[-4]\nDETECTOR rec[-3]\nDETECTOR rec[-2]\nDETECTOR rec[-1]\n");
  text.append("REPEAT 4 {\n").append(round);
  text.append("DETECTOR rec[-4] rec[-8]\nDETECTOR rec[-3] rec[-7]\n");
  text.append("DETECTOR rec[-2] rec[-6]\nDETECTOR rec[-1] rec[-5]\n}\nM 0 1 2 3 4\n");
  // Data qubit i is rec[-(5 - i)] after the readout, its last check rec[-(9 - i)].
  for (int i = 0; i < 4; ++i) {
    text.append("DETECTOR rec[-").append(std::to_string(5 - i)).append("] rec[-");
    text.append(std::to_string(4 - i)).append("] rec[-").append(std::to_string(9 - i));
    text.append("]\n");
  }
  return text.append("OBSERVABLE_INCLUDE(0) rec[-5]\n");
}

void BM_repetition_code_shots(benchmark::State& state) {
  const circuit::Program program = circuit::parse_circuit(repetition_text());
  circuit::check_deterministic(program);
  const circuit::NoiselessReference reference =
      circuit::noiseless_reference(program, circuit::ReferenceParts::parities);
  constexpr std::uint64_t shots = 1000;
  std::vector<std::uint8_t> detectors(shots * program.num_detectors);
  std::vector<std::uint8_t> observables(shots * program.num_observables);
  engine::SeededGenerator generator(1);
  circuit::ShotSampler sampler(program);
  for (auto _ : state) {
    sampler.sample_detectors(shots, reference, generator, detectors.data(), observables.data());
    benchmark::DoNotOptimize(detectors.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * shots));
  state.SetLabel("shots");
}
BENCHMARK(BM_repetition_code_shots);

void BM_repetition_code_frames(benchmark::State& state) {
  const circuit::Program program = circuit::parse_circuit(repetition_text());
  circuit::check_deterministic(program);
  circuit::FrameSampler sampler(program);
  const std::uint64_t shots = 4 * sampler.block_shots();
  std::vector<std::uint8_t> detectors(shots * program.num_detectors);
  std::vector<std::uint8_t> observables(shots * program.num_observables);
  engine::SeededGenerator generator(1);
  for (auto _ : state) {
    sampler.sample_detectors(shots, generator, detectors.data(), observables.data());
    benchmark::DoNotOptimize(detectors.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * shots));
  state.SetLabel("shots");
}
BENCHMARK(BM_repetition_code_frames);

}  // namespace
