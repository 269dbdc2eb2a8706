// The stabilizer tableau and the graph-state generators, checked against the exact state vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "clifford_matrices.h"
#include "graph_state_generators.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "pauli_string.h"
#include "state_vector.h"
#include "tableau.h"

namespace korvane::testing {
namespace {

using clifford::Axis;

const double inv_sqrt2 = 1.0 / std::sqrt(2.0);
const Complex i_unit{0.0, 1.0};
const Matrix2 hadamard_matrix{inv_sqrt2, inv_sqrt2, inv_sqrt2, -inv_sqrt2};

struct SingleGate {
  const char* name;
  Matrix2 matrix;
  void (Tableau::*apply)(std::size_t);
};

const std::array<SingleGate, 6> single_gates{{
    {"h", hadamard_matrix, &Tableau::h},
    {"s", {Complex{1.0}, Complex{0.0}, Complex{0.0}, i_unit}, &Tableau::s},
    {"sdag", {Complex{1.0}, Complex{0.0}, Complex{0.0}, -i_unit}, &Tableau::sdag},
    {"x", pauli_x_matrix, &Tableau::x},
    {"y", pauli_y_matrix, &Tableau::y},
    {"z", pauli_z_matrix, &Tableau::z},
}};

// Each controlled Pauli by its axes, which the state vector and the tableau read each their way.
struct TwoQubitGate {
  const char* name;
  Axis control;
  Axis target;
};

const std::array<TwoQubitGate, 9> two_qubit_gates{{
    {"cz", Axis::Z, Axis::Z},
    {"cx", Axis::Z, Axis::X},
    {"cy", Axis::Z, Axis::Y},
    {"xcx", Axis::X, Axis::X},
    {"xcy", Axis::X, Axis::Y},
    {"xcz", Axis::X, Axis::Z},
    {"ycx", Axis::Y, Axis::X},
    {"ycy", Axis::Y, Axis::Y},
    {"ycz", Axis::Y, Axis::Z},
}};

constexpr std::array<Axis, 3> axes{Axis::X, Axis::Y, Axis::Z};

// <psi|P|psi>, P's sign included, for `state` on the qubits at `positions` of the string, every
// other qubit in |0>.
double expectation(const StateVector& state, const std::vector<std::size_t>& positions,
                   const PauliString& pauli) {
  std::vector<bool> is_active(pauli.qubits(), false);
  for (const std::size_t q : positions) is_active[q] = true;
  for (std::size_t q = 0; q < pauli.qubits(); ++q)
    if (!is_active[q] && pauli.x(q)) return 0.0;  // X or Y on a qubit in |0>
  const bool acts_on_state = std::any_of(positions.begin(), positions.end(),
                                         [&](std::size_t q) { return pauli.x(q) || pauli.z(q); });
  if (!acts_on_state) return pauli.negative() ? -1.0 : 1.0;  // only Z on qubits in |0>
  StateVector image = state;
  for (std::size_t local = 0; local < positions.size(); ++local) {
    const std::size_t q = positions[local];
    if (pauli.x(q) || pauli.z(q))
      image.apply(local, pauli_matrix(pauli.x(q) ? (pauli.z(q) ? 1 : 0) : 2));
  }
  Complex total = 0.0;
  for (std::size_t i = 0; i < state.amplitudes().size(); ++i)
    total += std::conj(state.amplitudes()[i]) * image.amplitudes()[i];
  return pauli.negative() ? -total.real() : total.real();
}

// Destabilizer i anticommutes with stabilizer i alone; all other pairs of rows commute.
std::string broken_pairing(const Tableau& tableau) {
  const std::size_t n = tableau.qubits();
  std::vector<PauliString> stabilizers;
  std::vector<PauliString> destabilizers;
  for (std::size_t i = 0; i < n; ++i) {
    stabilizers.push_back(tableau.stabilizer(i));
    destabilizers.push_back(tableau.destabilizer(i));
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      const std::string pair = std::to_string(i) + ", " + std::to_string(j);
      if (destabilizers[i].commutes_with(stabilizers[j]) == (i == j))
        return "destabilizer and stabilizer " + pair;
      if (!stabilizers[i].commutes_with(stabilizers[j])) return "stabilizers " + pair;
      if (!destabilizers[i].commutes_with(destabilizers[j])) return "destabilizers " + pair;
    }
  }
  return {};
}

// Random circuits of every gate and measurement on `active` qubits, placed at `positions` in a
// tableau of `qubits` qubits (the rest stay |0>), run on a state vector of the active qubits
// alongside. After every step each signed stabilizer has expectation +1; before every
// measurement the tableau's determinism and outcome match the state vector's probabilities.
void run_random_circuits(std::uint32_t seed, int circuits, int length, std::size_t qubits,
                         const std::vector<std::size_t>& positions) {
  std::mt19937 rng(seed);
  const std::size_t active = positions.size();
  for (int circuit = 0; circuit < circuits; ++circuit) {
    Tableau tableau(qubits);
    StateVector state(active);
    std::uniform_int_distribution<std::size_t> pick_local(0, active - 1);
    std::uniform_int_distribution<std::size_t> pick_kind(0, active == 1 ? 8 : 17);
    std::string history;
    for (int step = 0; step < length; ++step) {
      const std::size_t kind = pick_kind(rng);
      const std::size_t a = pick_local(rng);
      std::size_t b =
          active == 1 ? 0 : std::uniform_int_distribution<std::size_t>(0, active - 2)(rng);
      if (b >= a) ++b;
      if (kind < 6) {
        const SingleGate& gate = single_gates[kind];
        (tableau.*gate.apply)(positions[a]);
        state.apply(a, gate.matrix);
        history += std::string(gate.name) + "(" + std::to_string(a) + ") ";
      } else if (kind < 9) {
        const Axis axis = axes[kind - 6];
        const std::optional<bool> determined = tableau.determined_outcome(positions[a], axis);
        const double minus_probability = state.probability(a, axis, true);
        const bool drawn = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
        const Measurement measurement = tableau.measure(positions[a], axis, drawn);
        history += std::string("m") + "XYZ"[kind - 6] + "(" + std::to_string(a) +
                   ")=" + std::to_string(measurement.outcome) + " ";
        if (determined) {
          ASSERT_NEAR(minus_probability, *determined ? 1.0 : 0.0, 1e-9) << history;
          ASSERT_FALSE(measurement.random) << history;
          ASSERT_EQ(measurement.outcome, *determined) << history;
        } else {
          ASSERT_NEAR(minus_probability, 0.5, 1e-9) << history;
          ASSERT_TRUE(measurement.random) << history;
          ASSERT_EQ(measurement.outcome, drawn) << history;
        }
        state.project(a, axis, measurement.outcome);
      } else {
        const TwoQubitGate& gate = two_qubit_gates[kind - 9];
        tableau.controlled(gate.control, gate.target, positions[a], positions[b]);
        state.controlled_by_axes(gate.control, gate.target, a, b);
        history +=
            std::string(gate.name) + "(" + std::to_string(a) + "," + std::to_string(b) + ") ";
      }
      for (std::size_t i = 0; i < qubits; ++i) {
        const PauliString& row = tableau.stabilizer(i);
        ASSERT_NEAR(expectation(state, positions, row), 1.0, 1e-9)
            << "seed " << seed << " circuit " << circuit << ": " << history << "\nstabilizer " << i
            << " " << row.text();
      }
    }
    ASSERT_EQ(broken_pairing(tableau), "") << "seed " << seed << ": " << history;
  }
}

TEST(Tableau, RandomCircuitsOnUpToEightQubits) {
  for (std::size_t n = 1; n <= 8; ++n) {
    std::vector<std::size_t> positions(n);
    for (std::size_t q = 0; q < n; ++q) positions[q] = q;
    run_random_circuits(static_cast<std::uint32_t>(n), 100, 50, n, positions);
  }
}

// The active qubits straddle word boundaries, so gates, row sums and phases run across words.
TEST(Tableau, RandomCircuitsSpreadOverFourWords) {
  run_random_circuits(9, 60, 80, 200, {0, 63, 64, 65, 127, 128, 191, 199});
}

// A GHZ state on 130 qubits: generated by X...X and Z_q Z_q+1.
std::vector<PauliString> ghz_generators(std::size_t n) {
  std::vector<PauliString> generators;
  PauliString all_x(n);
  for (std::size_t q = 0; q < n; ++q) all_x.set(q, true, false);
  generators.push_back(all_x);
  for (std::size_t q = 0; q + 1 < n; ++q) {
    PauliString pair = PauliString::single(n, q, Axis::Z);
    pair.set(q + 1, false, true);
    generators.push_back(pair);
  }
  return generators;
}

TEST(Tableau, StabilizerGroupComparison) {
  constexpr std::size_t n = 130;
  Tableau tableau(n);
  tableau.h(0);
  for (std::size_t q = 0; q + 1 < n; ++q) tableau.cx(q, q + 1);
  std::vector<PauliString> generators = ghz_generators(n);
  EXPECT_EQ(tableau.stabilizer_group_mismatch(generators), "");

  // Another generating set of the same group.
  std::vector<PauliString> products = generators;
  for (std::size_t i = 0; i + 1 < n; ++i) products[i].multiply_by(generators[i + 1]);
  EXPECT_TRUE(tableau.same_stabilizer_group(products));

  std::vector<PauliString> flipped = generators;
  flipped[70].flip_sign();
  EXPECT_FALSE(tableau.same_stabilizer_group(flipped));

  std::vector<PauliString> repeated = generators;
  repeated[5] = repeated[6];  // all in the group, but only n - 1 independent
  EXPECT_EQ(tableau.stabilizer_group_mismatch(repeated), "only 129 generators are independent");

  std::vector<PauliString> outside = generators;
  outside[3] = PauliString::single(n, 100, Axis::X);
  EXPECT_FALSE(tableau.same_stabilizer_group(outside));

  // Measuring Z = -1 leaves every qubit in |1>, far across the words: the group of all -Z_q.
  EXPECT_TRUE(tableau.measure(100, Axis::Z, true).random);
  std::vector<PauliString> all_ones;
  for (std::size_t q = 0; q < n; ++q) {
    all_ones.push_back(PauliString::single(n, q, Axis::Z));
    all_ones.back().flip_sign();
  }
  EXPECT_EQ(tableau.stabilizer_group_mismatch(all_ones), "");
  for (const std::size_t q : {0, 63, 64, 129}) {
    EXPECT_EQ(tableau.determined_outcome(q, Axis::Z), std::optional<bool>(true));
    EXPECT_EQ(tableau.determined_outcome(q, Axis::X), std::nullopt);
  }
}

// Each generator from the graph formula has expectation +1 on the state the formula describes,
// built here gate by gate, and they are independent. Edges may repeat: two CZs cancel.
TEST(GraphStateGenerators, MatchTheGraphFormula) {
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    const std::size_t n = 1 + static_cast<std::size_t>(round) % 6;
    std::uniform_int_distribution<std::size_t> pick_qubit(0, n - 1);
    GraphDescription graph{n, {}, {}};
    for (std::size_t q = 0; q < n; ++q)
      graph.vops.push_back(static_cast<std::uint8_t>(rng() % clifford::vop_count));
    const std::size_t edge_count = n == 1 ? 0 : rng() % (n * n);
    for (std::size_t e = 0; e < edge_count; ++e) {
      const std::size_t a = pick_qubit(rng);
      const std::size_t b = pick_qubit(rng);
      if (a != b) graph.edges.emplace_back(a, b);
    }
    StateVector state(n);
    for (std::size_t q = 0; q < n; ++q) state.apply(q, hadamard_matrix);
    for (const auto& [a, b] : graph.edges) state.cz(a, b);
    for (std::size_t q = 0; q < n; ++q) state.apply(q, clifford_matrix(graph.vops[q]));

    const std::vector<PauliString> generators = graph_state_generators(graph);
    std::vector<std::size_t> positions(n);
    for (std::size_t q = 0; q < n; ++q) positions[q] = q;
    for (const PauliString& generator : generators)
      ASSERT_NEAR(expectation(state, positions, generator), 1.0, 1e-9)
          << "round " << round << ": " << generator.text();
    ASSERT_EQ(independent_count(generators), n) << "round " << round;
  }
}

}  // namespace
}  // namespace korvane::testing
