// The engine against the stabilizer tableau on registers of 100 to 2,000 qubits, far past state
// vectors. Each circuit runs on both side by side: for every measurement the engine draws a word
// exactly when the tableau calls the outcome random, a determined outcome agrees, and a random
// one is followed by the tableau. At a few points and at the end, the stabilizer generators read
// off the engine's graph must generate the tableau's group, signs included; at the end, so must
// the engine's canonical generators, in the canonical form.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graph_description.h"
#include "graph_state_generators.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/io/stabilizers.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/register.h"
#include "scripted_source.h"
#include "tableau.h"
#include "workloads.h"

namespace korvane::testing {
namespace {

using bench::Circuit;
using bench::Op;
using bench::OpKind;

constexpr std::size_t ghz_qubits = 1000;
constexpr std::size_t all_pairs_qubits = 600;

std::string describe(const Op& op) {
  switch (op.kind) {
    case OpKind::single:
      return std::string(op.name()) + "(" + std::to_string(op.qubit) + ")";
    case OpKind::two_qubit:
      return std::string(op.name()) + "(" + std::to_string(op.qubit) + "," +
             std::to_string(op.target) + ")";
    case OpKind::measure:
      return std::string("m") + "XYZ"[op.which] + "(" + std::to_string(op.qubit) + ")";
  }
  return "?";
}

// Runs `circuit` on an engine register and a tableau of `qubits` qubits, checking every
// measurement, and comparing the stabilizer groups every `check_every` operations and at the end.
// Counts in `on_tableau`, when given, the operations after which the state was held as a tableau.
void run_side_by_side(std::size_t qubits, const Circuit& circuit, std::uint64_t engine_seed,
                      std::size_t check_every, engine::Storage storage = engine::Storage::automatic,
                      const engine::StorageThresholds& thresholds = {},
                      std::size_t* on_tableau = nullptr) {
  SCOPED_TRACE(std::to_string(qubits) + " qubits, engine seed " + std::to_string(engine_seed) +
               ", storage " + std::to_string(static_cast<int>(storage)));
  engine::Register reg(qubits, storage, thresholds);
  Tableau tableau(qubits);
  SeededSource source(engine_seed);
  for (std::size_t i = 0; i < circuit.size(); ++i) {
    const Op& op = circuit[i];
    const std::string where = "op " + std::to_string(i) + " " + describe(op);
    switch (op.kind) {
      case OpKind::single:
        reg.apply_clifford(op.qubit, circuit::vop_of(op.gate()));
        (tableau.*Tableau::single_qubit_gate(op.name()))(op.qubit);
        break;
      case OpKind::two_qubit: {
        const engine::ControlledPauli gate = circuit::gate_of(op.gate()).controlled;
        engine::apply_controlled_pauli(reg, gate, op.qubit, op.target);
        tableau.controlled(gate.control, gate.target, op.qubit, op.target);
        break;
      }
      case OpKind::measure: {
        const std::size_t draws_before = source.draws();
        const bool outcome = engine::measure(reg, op.qubit, op.axis(), source);
        const std::size_t draws = source.draws() - draws_before;
        const Measurement expected = tableau.measure(op.qubit, op.axis(), outcome);
        ASSERT_EQ(draws, expected.random ? 1U : 0U)
            << where << ": the engine drew " << draws << " words, the outcome is "
            << (expected.random ? "random" : "determined");
        ASSERT_EQ(outcome, expected.outcome) << where << ": determined outcome";
        break;
      }
    }
    if (on_tableau != nullptr && reg.holds_tableau()) ++*on_tableau;
    if ((i + 1) % check_every == 0 || i + 1 == circuit.size()) {
      ASSERT_EQ(tableau.stabilizer_group_mismatch(graph_state_generators(describe_graph(reg))), "")
          << "after " << where;
    }
    if (i + 1 == circuit.size()) {
      // The canonical generators: the tableau's group, in the one form it has.
      std::vector<PauliString> canonical;
      for (const std::string& text : engine::canonical_stabilizers(reg))
        canonical.push_back(PauliString::from_text(text));
      ASSERT_EQ(tableau.stabilizer_group_mismatch(canonical), "") << "canonical stabilizers";
      ASSERT_EQ(canonical_form_violation(canonical), "");
    }
  }
}

TEST(TableauOracle, GhzChainMeasuredOnRandomAxes) {
  for (const std::uint64_t seed : {1, 2}) {
    const Circuit circuit = bench::ghz_chain(ghz_qubits, seed);
    ASSERT_NO_FATAL_FAILURE(run_side_by_side(ghz_qubits, circuit, 100 + seed, circuit.size() / 4));
  }
}

TEST(TableauOracle, GhzStarMeasuredOnRandomAxes) {
  for (const std::uint64_t seed : {1, 2}) {
    const Circuit circuit = bench::ghz_star(ghz_qubits, seed);
    ASSERT_NO_FATAL_FAILURE(run_side_by_side(ghz_qubits, circuit, 200 + seed, circuit.size() / 4));
  }
}

// Each storage on its own, the automatic one moving between them as the graph fills in, and the
// tableau for every gate and measurement, back to a graph at every check.
constexpr engine::Storage storages[] = {engine::Storage::automatic, engine::Storage::sparse,
                                        engine::Storage::dense, engine::Storage::tableau};

TEST(TableauOracle, RandomCircuitsOnAllPairs) {
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    const Circuit circuit =
        bench::random_circuit(all_pairs_qubits, 10 * all_pairs_qubits, all_pairs_qubits, seed);
    ASSERT_NO_FATAL_FAILURE(run_side_by_side(all_pairs_qubits, circuit, 300 + seed,
                                             circuit.size() / 5, storages[seed - 1]));
  }
}

// The automatic choice with thresholds low enough that measuring circuits move between graph and
// tableau many times, on registers of one and of several words per column.
TEST(TableauOracle, AutomaticChoiceMovingBetweenGraphAndTableau) {
  engine::StorageThresholds thresholds;
  thresholds.tableau_threshold_divisor = 64;
  for (const std::size_t qubits : {30, 300}) {
    const Circuit circuit = bench::random_circuit(qubits, 20 * qubits, qubits, 7);
    std::size_t on_tableau = 0;
    ASSERT_NO_FATAL_FAILURE(run_side_by_side(qubits, circuit, 700 + qubits, circuit.size() / 5,
                                             engine::Storage::automatic, thresholds, &on_tableau));
    EXPECT_GT(on_tableau, 0U) << qubits << " qubits";
    EXPECT_LT(on_tableau, circuit.size()) << qubits << " qubits";
  }
}

// Partners within 30 places still entangle far: the graph turns dense within a few operations
// per qubit, and the automatic storage turns dense with it.
constexpr std::size_t local_window = 30;
constexpr std::size_t long_run_qubits = 2000;
constexpr std::size_t long_run_ops_per_qubit = 15;

TEST(TableauOracle, LongLocalRun) {
  const Circuit circuit = bench::random_circuit(
      long_run_qubits, long_run_ops_per_qubit * long_run_qubits, local_window, 4);
  ASSERT_NO_FATAL_FAILURE(run_side_by_side(long_run_qubits, circuit, 401, circuit.size() / 5));
}

TEST(TableauOracle, SparseStorageWhileTheLocalRunIsYoung) {
  const Circuit circuit =
      bench::random_circuit(long_run_qubits, 5 * long_run_qubits, local_window, 5);
  ASSERT_NO_FATAL_FAILURE(
      run_side_by_side(long_run_qubits, circuit, 501, circuit.size() / 3, engine::Storage::sparse));
}

// Many small gate-only circuits, compared after every gate, on the graph and on the tableau.
TEST(TableauOracle, SmallCzCxCircuits) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    const engine::Storage storage =
        seed % 2 == 0 ? engine::Storage::tableau : engine::Storage::automatic;
    ASSERT_NO_FATAL_FAILURE(
        run_side_by_side(10, bench::cz_cx_circuit(10, 100, seed), seed, 1, storage));
  }
}

// Measurements on tableaus of one word up to many, across every word boundary, with the graph
// read only at the end.
TEST(TableauOracle, RandomCircuitsOnTheTableau) {
  for (const std::size_t qubits : {2, 32, 33, 64, 65, 100, 300}) {
    const Circuit circuit = bench::random_circuit(qubits, 20 * qubits, qubits, qubits);
    ASSERT_NO_FATAL_FAILURE(
        run_side_by_side(qubits, circuit, 600 + qubits, circuit.size(), engine::Storage::tableau));
  }
}

}  // namespace
}  // namespace korvane::testing
