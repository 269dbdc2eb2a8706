// The choice between a graph and a tableau: gates on a dense graph move the state to the tableau,
// frequent measurements keep the graph, and so do dear ones on a dense graph; reads of the graph
// bring it back without thrashing, and the choice is the same for the same operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "korvane/circuit/gates/gate_table.h"
#include "korvane/engine/io/stabilizers.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/register.h"
#include "korvane/engine/tableau/graph_form.h"
#include "korvane/engine/tableau/representation_policy.h"
#include "scripted_source.h"
#include "workloads.h"

namespace korvane::engine {
namespace {

using testing::SeededSource;

constexpr std::size_t qubits = 300;

// Runs `op` on `reg`, drawing outcomes from `source`; returns the outcome of a measurement.
bool run(const bench::Op& op, Register& reg, SeededSource& source) {
  switch (op.kind) {
    case bench::OpKind::single:
      reg.apply_clifford(op.qubit, clifford::hadamard);
      return false;
    case bench::OpKind::two_qubit:
      apply_controlled_pauli(reg, circuit::gate_of(op.gate()).controlled, op.qubit, op.target);
      return false;
    case bench::OpKind::measure:
      return measure(reg, op.qubit, op.axis(), source);
  }
  return false;
}

TEST(Representation, GatesOnADenseGraphMoveToTheTableau) {
  Register reg(qubits);
  SeededSource source(1);
  for (const bench::Op& op : bench::cz_cx_circuit(qubits, 20 * qubits, 1)) run(op, reg, source);
  EXPECT_TRUE(reg.holds_tableau());
}

TEST(Representation, FrequentMeasurementsKeepTheGraph) {
  Register reg(qubits);
  SeededSource source(2);
  for (const bench::Op& op : bench::random_circuit(qubits, 20 * qubits, qubits, 2)) {
    run(op, reg, source);
    ASSERT_FALSE(reg.holds_tableau());
  }
}

// The local mix at 50,000 qubits and mean degree 8,000: a gate complements about 4,000 rows of
// 782 words, a measurement 9,000. Moved there, the tableau's rows would be the graph's, and each
// random outcome would take a pivot of thousands of factors into thousands of rows: the graph
// stays. The same gates without measurements move.
TEST(Representation, MeasurementsOnADenseGraphPriceTheTableauByItsRows) {
  constexpr std::size_t n = 50000;
  const std::size_t column_words = StabilizerTableau::column_words_for(n);
  const std::size_t row_words = words_for(n);
  const auto policy = [&] {
    return RepresentationPolicy(n, column_words, row_words, n * column_words, graph_form_cost(n),
                                1);
  };
  RepresentationPolicy measuring = policy();
  RepresentationPolicy gates_only = policy();
  for (int round = 0; round < 1000; ++round) {
    for (int gate = 0; gate < 3; ++gate) {
      ASSERT_FALSE(measuring.after_graph_operation(OperationKind::gate, 4000 * row_words));
    }
    ASSERT_FALSE(measuring.after_graph_operation(OperationKind::measurement, 9000 * row_words));
  }
  std::size_t gates = 0;
  while (!gates_only.after_graph_operation(OperationKind::gate, 4000 * row_words)) ++gates;
  EXPECT_LT(gates, 100U);
}

TEST(Representation, ReadsBetweenGatesCannotMakeItThrash) {
  Register reg(qubits);
  SeededSource source(3);
  const bench::Circuit gates = bench::cz_cx_circuit(qubits, 40 * qubits, 3);
  std::size_t entries = 0;
  for (std::size_t i = 0; i < gates.size(); ++i) {
    run(gates[i], reg, source);
    if (reg.holds_tableau() && (i + 1) % 40 == 0) {
      ++entries;
      EXPECT_GT(reg.edge_count(), 0U);  // a read: the graph is back
      EXPECT_FALSE(reg.holds_tableau());
    }
  }
  // A read every 20 gates would move the state back and forth 300 times; after the first return
  // each entry waits for as much work saved as a return costs.
  EXPECT_GE(entries, 1U);
  EXPECT_LE(entries, 30U);
}

TEST(Representation, TheSameOperationsMakeTheSameChoicesAndOutcomes) {
  const bench::Circuit circuit = bench::random_circuit(qubits, 10 * qubits, qubits, 4);
  std::vector<bool> outcomes[2];
  std::vector<bool> on_tableau[2];
  for (int run_index = 0; run_index < 2; ++run_index) {
    StorageThresholds thresholds;
    thresholds.tableau_threshold_divisor = 64;
    Register reg(qubits, Storage::automatic, thresholds);
    SeededSource source(5);
    for (const bench::Op& op : circuit) {
      outcomes[run_index].push_back(run(op, reg, source));
      on_tableau[run_index].push_back(reg.holds_tableau());
    }
  }
  EXPECT_EQ(outcomes[0], outcomes[1]);
  EXPECT_EQ(on_tableau[0], on_tableau[1]);
  EXPECT_NE(std::count(on_tableau[0].begin(), on_tableau[0].end(), true), 0);
}

TEST(Representation, StorageForcedMidwayKeepsTheState) {
  const bench::Circuit gates = bench::cz_cx_circuit(qubits, 10 * qubits, 6);
  constexpr Storage forced[] = {Storage::dense, Storage::tableau, Storage::sparse, Storage::tableau,
                                Storage::automatic};
  Register reg(qubits, Storage::sparse);
  Register untouched(qubits, Storage::sparse);
  SeededSource source(6);
  const std::size_t stage_length = gates.size() / std::size(forced);
  for (std::size_t i = 0; i < gates.size(); ++i) {
    if (i % stage_length == 0) {
      const Storage storage = forced[i / stage_length];
      reg.set_storage(storage);
      EXPECT_EQ(reg.holds_tableau(), storage == Storage::tableau);
    }
    run(gates[i], reg, source);
    run(gates[i], untouched, source);
  }
  EXPECT_EQ(canonical_stabilizers(reg), canonical_stabilizers(untouched));
}

}  // namespace
}  // namespace korvane::engine
