// Random Clifford circuits run on the engine and on the state-vector reference side by side, and
// checks of the reference itself against textbook gate definitions.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "edge_toggles.h"
#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/register.h"
#include "state_vector.h"

namespace korvane::testing {
namespace {

using engine::Qubit;
using engine::Register;

const double inv_sqrt2 = 1.0 / std::sqrt(2.0);
const Complex i_unit{0.0, 1.0};

// The six single-qubit gates, written out here rather than taken from the VOP numbering.
struct SingleGate {
  const char* name;
  clifford::Vop row;
  Matrix2 matrix;
};

const std::array<SingleGate, 6> single_gates{{
    {"x", clifford::pauli_x, pauli_x_matrix},
    {"y", clifford::pauli_y, pauli_y_matrix},
    {"z", clifford::pauli_z, pauli_z_matrix},
    {"sdag", clifford::s_dagger, {Complex{1.0}, Complex{0.0}, Complex{0.0}, -i_unit}},
    {"s", clifford::s_gate, {Complex{1.0}, Complex{0.0}, Complex{0.0}, i_unit}},
    {"h", clifford::hadamard, {inv_sqrt2, inv_sqrt2, inv_sqrt2, -inv_sqrt2}},
}};

const std::array<const char*, 9> two_qubit_names{"cz",  "cx",  "cy",  "xcx", "xcy",
                                                 "xcz", "ycx", "ycy", "ycz"};

StateVector basis_state(std::size_t qubits, std::size_t index) {
  StateVector state(qubits);
  for (std::size_t q = 0; q < qubits; ++q)
    if (index & (std::size_t{1} << q)) state.apply(q, pauli_x_matrix);
  return state;
}

TEST(StateVectorReference, GraphFormulaOfOneEdge) {
  Register reg(2);
  reg.set_vop(0, clifford::identity);
  reg.set_vop(1, clifford::identity);
  testing::toggle_edge(reg, 0, 1);
  const StateVector state = StateVector::from_register(reg);
  const Amplitudes& amplitudes = state.amplitudes();
  const std::array<double, 4> expected{0.5, 0.5, 0.5, -0.5};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(std::abs(amplitudes[i] - expected[i]), 0, 1e-12);
}

TEST(StateVectorReference, ControlledGatesOnBasisAndEigenstates) {
  // cx: |c=1, t=0> (index 1) goes to |1, 1> (index 3).
  StateVector state = basis_state(2, 1);
  state.controlled(testing::controlled_gate("CX"), 0, 1);
  EXPECT_TRUE(state.equal_up_to_phase(basis_state(2, 3)));
  state.controlled(testing::controlled_gate("CX"), 1, 0);
  EXPECT_TRUE(state.equal_up_to_phase(basis_state(2, 2)));

  // cy applies Y = i X Z: phases i and -i relative to the untouched branch.
  StateVector superposed(2);
  superposed.apply(0, single_gates[5].matrix);  // (|00> + |10>)/sqrt2 with bit 0 the control
  superposed.controlled(testing::controlled_gate("CY"), 0, 1);
  EXPECT_NEAR(std::abs(superposed.amplitudes()[0] - inv_sqrt2), 0, 1e-12);
  EXPECT_NEAR(std::abs(superposed.amplitudes()[3] - i_unit * inv_sqrt2), 0, 1e-12);

  // Control in |-> (X basis) or |-i> (Y basis) fires, |+> and |+i> do not.
  const Matrix2 h = single_gates[5].matrix;
  const Matrix2 sdag = single_gates[3].matrix;
  for (const bool minus : {false, true}) {
    StateVector x_control(2);
    if (minus) x_control.apply(0, pauli_x_matrix);
    x_control.apply(0, h);
    StateVector expected = x_control;
    if (minus) expected.apply(1, pauli_x_matrix);
    x_control.controlled(testing::controlled_gate("XCX"), 0, 1);
    EXPECT_TRUE(x_control.equal_up_to_phase(expected));

    StateVector y_control(2);
    if (minus) y_control.apply(0, pauli_x_matrix);
    y_control.apply(0, h);
    y_control.apply(0, sdag);  // S^dag H |0> = |-i>, S^dag H |1> = |+i>
    expected = y_control;
    if (!minus) expected.apply(1, pauli_x_matrix);
    y_control.controlled(testing::controlled_gate("YCX"), 0, 1);
    EXPECT_TRUE(y_control.equal_up_to_phase(expected));
  }
}

TEST(StateVectorReference, ProbabilitiesAndProjection) {
  StateVector state(2);
  state.apply(0, single_gates[5].matrix);
  state.controlled(testing::controlled_gate("CX"), 0, 1);  // Bell pair
  EXPECT_NEAR(state.probability(0, clifford::Axis::Z, false), 0.5, 1e-12);
  EXPECT_NEAR(state.probability(1, clifford::Axis::X, true), 0.5, 1e-12);
  state.project(0, clifford::Axis::Z, true);
  EXPECT_TRUE(state.equal_up_to_phase(basis_state(2, 3)));
  EXPECT_NEAR(state.probability(1, clifford::Axis::Z, true), 1.0, 1e-12);
  EXPECT_NEAR(state.probability(1, clifford::Axis::Z, false), 0.0, 1e-12);
  StateVector zero(1);
  EXPECT_NEAR(zero.probability(0, clifford::Axis::Y, true), 0.5, 1e-12);
  EXPECT_FALSE(zero.equal_up_to_phase(basis_state(1, 1)));
}

// The representations the circuits take turns on: the automatic choice (a one-word matrix for
// these sizes), sets, the matrix, the tableau for every gate, and the automatic choice moving
// between graph and tableau at once.
struct Representation {
  engine::Storage storage;
  std::size_t tableau_threshold_divisor;
};
constexpr std::array<Representation, 5> representations{{{engine::Storage::automatic, 1},
                                                         {engine::Storage::sparse, 1},
                                                         {engine::Storage::dense, 1},
                                                         {engine::Storage::tableau, 1},
                                                         {engine::Storage::automatic, 1U << 20}}};

// Runs `circuits` random circuits of `length` gates on min_qubits..max_qubits qubits, comparing
// the engine with the reference after every gate (every third on a tableau, whose gates then run
// unread in between).
void run_random_circuits(std::uint32_t seed, int circuits, int length, std::size_t min_qubits,
                         std::size_t max_qubits) {
  std::mt19937 rng(seed);
  std::array<std::size_t, representations.size()> gates_on_tableau{};
  for (int circuit = 0; circuit < circuits; ++circuit) {
    const std::size_t n =
        min_qubits + static_cast<std::size_t>(circuit) % (max_qubits - min_qubits + 1);
    const std::size_t representation_index =
        static_cast<std::size_t>(circuit) % representations.size();
    const Representation representation = representations[representation_index];
    engine::StorageThresholds thresholds;
    thresholds.tableau_threshold_divisor = representation.tableau_threshold_divisor;
    Register reg(n, representation.storage, thresholds);
    const bool may_hold_tableau = representation.storage == engine::Storage::tableau ||
                                  representation.tableau_threshold_divisor != 1;
    const int check_every = may_hold_tableau ? 3 : 1;
    StateVector reference(n);
    std::uniform_int_distribution<Qubit> pick_qubit(0, n - 1);
    std::uniform_int_distribution<std::size_t> pick_gate(0, n == 1 ? 5 : 14);
    std::string history;
    for (int step = 0; step < length; ++step) {
      const std::size_t kind = pick_gate(rng);
      if (kind < 6) {
        const Qubit q = pick_qubit(rng);
        reg.apply_clifford(q, single_gates[kind].row);
        reference.apply(q, single_gates[kind].matrix);
        history += std::string(single_gates[kind].name) + "(" + std::to_string(q) + ") ";
      } else {
        const Qubit c = pick_qubit(rng);
        Qubit t = std::uniform_int_distribution<Qubit>(0, n - 2)(rng);
        if (t >= c) ++t;
        const engine::ControlledPauli gate = testing::controlled_gates()[kind - 6].gate;
        engine::apply_controlled_pauli(reg, gate, c, t);
        reference.controlled(gate, c, t);
        history += std::string(two_qubit_names[kind - 6]) + "(" + std::to_string(c) + "," +
                   std::to_string(t) + ") ";
      }
      if (reg.holds_tableau()) ++gates_on_tableau[representation_index];
      if ((step + 1) % check_every != 0 && step + 1 != length) continue;
      ASSERT_EQ(invariant_violation(reg), "")
          << "seed " << seed << " circuit " << circuit << " on storage "
          << static_cast<int>(representation.storage) << ": " << history;
      ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(reference))
          << "seed " << seed << " circuit " << circuit << ": " << history << "\n"
          << describe(reg);
    }
  }
  // The forced tableau and the automatic choice with low thresholds both ran gates on it.
  EXPECT_GT(gates_on_tableau[3], 0U);
  EXPECT_GT(gates_on_tableau[4], 0U);
}

TEST(RandomCircuits, ShortCircuitsOnUpToEightQubits) { run_random_circuits(1, 2000, 30, 1, 8); }

TEST(RandomCircuits, LongCircuitsOnFewQubits) { run_random_circuits(2, 300, 120, 2, 4); }

TEST(RandomCircuits, DenseGraphsOnEightQubits) { run_random_circuits(3, 40, 200, 7, 8); }

}  // namespace
}  // namespace korvane::testing
