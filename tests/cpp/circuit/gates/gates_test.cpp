// Every instruction name of the circuit format, run on random registers and compared with the
// state-vector reference applying what the format says the instruction means.
#include <gtest/gtest.h>

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "circuit_runs.h"
#include "clifford_matrices.h"
#include "graph_state_generators.h"
#include "korvane/circuit/gates/gate_table.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::testing {
namespace {

using clifford::Axis;

constexpr std::size_t qubits = 3;
constexpr int registers_per_case = 12;

Axis axis_named(char letter) { return letter == 'X' ? Axis::X : letter == 'Y' ? Axis::Y : Axis::Z; }

// "+X", "-Y", ... as the format's table writes an image.
SignedAxis image_named(const char* text) { return {axis_named(text[1]), text[0] == '-'}; }

bool same_image(SignedAxis a, SignedAxis b) { return a.axis == b.axis && a.negative == b.negative; }

// The matrix among the 24 whose conjugation takes X and Z to the given images.
Matrix2 matrix_with_images(SignedAxis x_image, SignedAxis z_image) {
  for (std::size_t v = 0; v < clifford::vop_count; ++v) {
    const Matrix2& matrix = clifford_matrix(v);
    if (same_image(conjugated_pauli(matrix, Axis::X), x_image) &&
        same_image(conjugated_pauli(matrix, Axis::Z), z_image)) {
      return matrix;
    }
  }
  throw std::logic_error("no Clifford has these images");
}

// Runs `text` on random registers beside the reference, which `expected` changes as the text
// should, given the record the run produced; the states must agree after every run.
template <class Expected>
void check_against_reference(const std::string& text, Expected&& expected) {
  SeededSource random(std::hash<std::string>{}(text));
  for (int trial = 0; trial < registers_per_case; ++trial) {
    for (const engine::Storage storage : both_storages) {
      engine::Register reg = random_register(random, qubits, 50, storage);
      StateVector reference = StateVector::from_register(reg);
      const std::vector<std::uint8_t> record = run_text(reg, text, random);
      expected(reference, record);
      ASSERT_TRUE(StateVector::from_register(reg).equal_up_to_phase(reference))
          << text << " on trial " << trial << " gave the record of " << record.size() << " bits";
    }
  }
}

struct CliffordRow {
  const char* name;
  const char* x_image;
  const char* z_image;
};

// The format's table of single-qubit Cliffords, every alias, and some lower-case spellings.
constexpr CliffordRow clifford_rows[] = {
    {"I", "+X", "+Z"},          {"X", "+X", "-Z"},          {"Y", "-X", "-Z"},
    {"Z", "-X", "+Z"},          {"H", "+Z", "+X"},          {"H_XZ", "+Z", "+X"},
    {"S", "+Y", "+Z"},          {"SQRT_Z", "+Y", "+Z"},     {"S_DAG", "-Y", "+Z"},
    {"SQRT_Z_DAG", "-Y", "+Z"}, {"SQRT_X", "+X", "-Y"},     {"SQRT_X_DAG", "+X", "+Y"},
    {"SQRT_Y", "-Z", "+X"},     {"SQRT_Y_DAG", "+Z", "-X"}, {"H_XY", "+Y", "-Z"},
    {"H_YZ", "-X", "+Y"},       {"C_XYZ", "+Y", "+X"},      {"C_ZYX", "+Z", "+Y"},
    {"h", "+Z", "+X"},          {"sqrt_x_dag", "+X", "+Y"}, {"c_Zyx", "+Z", "+Y"},
    {"C_NXYZ", "-Y", "-X"},     {"C_NZYX", "-Z", "-Y"},     {"C_XNYZ", "-Y", "+X"},
    {"C_XYNZ", "+Y", "-X"},     {"C_ZNYX", "+Z", "-Y"},     {"C_ZYNX", "-Z", "+Y"},
    {"H_NXY", "-Y", "-Z"},      {"H_NXZ", "-Z", "-X"},      {"H_NYZ", "-X", "-Y"},
};

TEST(CircuitGates, SingleQubitCliffordsMapXAndZAsTheTableSays) {
  for (const CliffordRow& row : clifford_rows) {
    const Matrix2 matrix = matrix_with_images(image_named(row.x_image), image_named(row.z_image));
    check_against_reference(std::string(row.name) + " 1 2 1",
                            [&](StateVector& state, const std::vector<std::uint8_t>&) {
                              state.apply(1, matrix);
                              state.apply(2, matrix);
                              state.apply(1, matrix);
                            });
  }
}

struct ControlledRow {
  const char* name;
  char control_basis;  // the first letter: the control's basis (Z when there is none)
  char target_pauli;   // the Pauli put on the target
};

constexpr ControlledRow controlled_rows[] = {
    {"CX", 'Z', 'X'},  {"CNOT", 'Z', 'X'}, {"ZCX", 'Z', 'X'}, {"CY", 'Z', 'Y'},   {"ZCY", 'Z', 'Y'},
    {"CZ", 'Z', 'Z'},  {"ZCZ", 'Z', 'Z'},  {"XCX", 'X', 'X'}, {"XCY", 'X', 'Y'},  {"XCZ", 'X', 'Z'},
    {"YCX", 'Y', 'X'}, {"YCY", 'Y', 'Y'},  {"YCZ", 'Y', 'Z'}, {"cnot", 'Z', 'X'}, {"yCz", 'Y', 'Z'},
};

TEST(CircuitGates, TwoQubitGatesActOnEachPairInOrder) {
  for (const ControlledRow& row : controlled_rows) {
    const Axis control = axis_named(row.control_basis);
    const Axis target = axis_named(row.target_pauli);
    check_against_reference(std::string(row.name) + " 0 2 2 1",
                            [&](StateVector& state, const std::vector<std::uint8_t>&) {
                              state.controlled_by_axes(control, target, 0, 2);
                              state.controlled_by_axes(control, target, 2, 1);
                            });
  }
  check_against_reference("SWAP 0 2 1 0", [](StateVector& state, const std::vector<std::uint8_t>&) {
    state.swap(0, 2);
    state.swap(1, 0);
  });
}

// The images under conjugation that the gate table gives each unitary gate (the Pauli action a
// detector error model walks back through), against the gate applied by the reference: for U and
// each of X and Z on each target, P and its image Q must satisfy U P |psi> = Q U |psi>.
TEST(CircuitGates, TheTableConjugatesPaulisAsTheGatesDo) {
  const auto apply_pauli_string = [](StateVector& state, const circuit::PauliImage& image) {
    for (std::size_t q = 0; q < image.factors.size(); ++q) {
      if (image.factors[q] != circuit::Pauli::I) {
        state.apply(q, pauli_matrix(static_cast<std::size_t>(image.factors[q]) - 1));
      }
    }
  };
  const auto apply_gate = [](StateVector& state, const std::string& name) {
    for (const CliffordRow& row : clifford_rows) {
      if (row.name != name) continue;
      state.apply(0, matrix_with_images(image_named(row.x_image), image_named(row.z_image)));
      return;
    }
    for (const ControlledRow& row : controlled_rows) {
      if (row.name != name) continue;
      state.controlled_by_axes(axis_named(row.control_basis), axis_named(row.target_pauli), 0, 1);
      return;
    }
    ASSERT_EQ(name, "SWAP");
    state.swap(0, 1);
  };
  SeededSource random(31);
  int checked = 0;
  for (circuit::GateId id = 0; id < circuit::gate_count; ++id) {
    const circuit::Gate& gate = circuit::gate_of(id);
    const std::size_t targets = gate.kind == circuit::Kind::clifford ? 1 : 2;
    if (gate.kind != circuit::Kind::clifford && gate.kind != circuit::Kind::controlled &&
        gate.kind != circuit::Kind::swap) {
      continue;
    }
    const circuit::Conjugation images = circuit::conjugation_of(id);
    const StateVector psi =
        StateVector::from_register(random_register(random, 2, 50, engine::Storage::automatic));
    for (std::size_t k = 0; k < 2 * targets; ++k) {
      circuit::PauliImage pauli{};
      pauli.factors[k / 2] = k % 2 == 0 ? circuit::Pauli::X : circuit::Pauli::Z;
      StateVector before = psi;  // U P |psi>
      apply_pauli_string(before, pauli);
      apply_gate(before, std::string(gate.name));
      StateVector after = psi;  // Q U |psi>
      apply_gate(after, std::string(gate.name));
      apply_pauli_string(after, images[k]);
      for (std::size_t i = 0; i < psi.amplitudes().size(); ++i) {
        const Complex expected =
            images[k].negative ? -after.amplitudes()[i] : after.amplitudes()[i];
        ASSERT_LT(std::abs(before.amplitudes()[i] - expected), 1e-9) << gate.name << " image " << k;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 24 * 2 + 10 * 4);  // every single-qubit Clifford, CX and kin, SWAP
}

struct MeasurementRow {
  const char* name;
  Axis axis;
};

constexpr MeasurementRow measurement_rows[] = {
    {"M", Axis::Z}, {"MZ", Axis::Z}, {"MX", Axis::X}, {"MY", Axis::Y}, {"mx", Axis::X}};
constexpr MeasurementRow reset_rows[] = {
    {"R", Axis::Z}, {"RZ", Axis::Z}, {"RX", Axis::X}, {"RY", Axis::Y}};
constexpr MeasurementRow measure_reset_rows[] = {
    {"MR", Axis::Z}, {"MRZ", Axis::Z}, {"MRX", Axis::X}, {"MRY", Axis::Y}};

// Projects q onto the recorded outcome, which must have been possible.
void project_on_record(StateVector& state, std::size_t q, Axis axis, bool outcome) {
  ASSERT_GT(state.probability(q, axis, outcome), 1e-9) << "an impossible outcome was recorded";
  state.project(q, axis, outcome);
}

// The Pauli that turns the -1 eigenstate of `axis` into the +1 one.
const Matrix2& flip_for(Axis axis) { return axis == Axis::X ? pauli_z_matrix : pauli_x_matrix; }

TEST(CircuitGates, MeasurementsRecordTheOutcomeAndInvertedTargetsItsComplement) {
  for (const MeasurementRow& row : measurement_rows) {
    check_against_reference(std::string(row.name) + " 1 !2",
                            [&](StateVector& state, const std::vector<std::uint8_t>& record) {
                              ASSERT_EQ(record.size(), 2U);
                              project_on_record(state, 1, row.axis, record[0] != 0);
                              project_on_record(state, 2, row.axis, record[1] == 0);
                            });
  }
}

TEST(CircuitGates, ResetsLeaveThePlusEigenstateOfTheirBasis) {
  for (const MeasurementRow& row : reset_rows) {
    SeededSource random(7);
    for (int trial = 0; trial < registers_per_case; ++trial) {
      engine::Register reg = random_register(random, qubits, 50, engine::Storage::automatic);
      const StateVector before = StateVector::from_register(reg);
      EXPECT_TRUE(run_text(reg, std::string(row.name) + " 1", random).empty());
      const StateVector after = StateVector::from_register(reg);
      EXPECT_NEAR(after.probability(1, row.axis, false), 1.0, 1e-9) << row.name;
      // The rest is what a measurement left, with one outcome or the other.
      bool matched = false;
      for (const bool outcome : {false, true}) {
        if (before.probability(1, row.axis, outcome) < 1e-9) continue;
        StateVector branch = before;
        branch.project(1, row.axis, outcome);
        if (outcome) branch.apply(1, flip_for(row.axis));
        matched = matched || after.equal_up_to_phase(branch);
      }
      EXPECT_TRUE(matched) << row.name << " on trial " << trial;
    }
  }
  for (const MeasurementRow& row : measure_reset_rows) {
    check_against_reference(std::string(row.name) + " !0 1",
                            [&](StateVector& state, const std::vector<std::uint8_t>& record) {
                              ASSERT_EQ(record.size(), 2U);
                              const bool first = record[0] == 0;  // inverted target
                              project_on_record(state, 0, row.axis, first);
                              if (first) state.apply(0, flip_for(row.axis));
                              project_on_record(state, 1, row.axis, record[1] != 0);
                              if (record[1] != 0) state.apply(1, flip_for(row.axis));
                            });
  }
}

TEST(CircuitGates, ClassicallyControlledPaulisActWhenTheRecordedBitIsOne) {
  struct FeedbackRow {
    const char* text;
    std::vector<std::size_t> measured;  // Z measurements, in order
    std::size_t lookback;               // k of the controlling rec[-k]
    std::size_t acted_on;
    const Matrix2* pauli;
  };
  const FeedbackRow rows[] = {
      {"M 0\nCX rec[-1] 2", {0}, 1, 2, &pauli_x_matrix},
      {"M 0\nCY rec[-1] 2", {0}, 1, 2, &pauli_y_matrix},
      {"M 0\nCZ rec[-1] 2", {0}, 1, 2, &pauli_z_matrix},
      {"M 1\nCZ 0 rec[-1]", {1}, 1, 0, &pauli_z_matrix},
      {"M 1 0\nZCX rec[-2] 2", {1, 0}, 2, 2, &pauli_x_matrix},
  };
  for (const FeedbackRow& row : rows) {
    check_against_reference(row.text,
                            [&](StateVector& state, const std::vector<std::uint8_t>& record) {
                              ASSERT_EQ(record.size(), row.measured.size());
                              for (std::size_t i = 0; i < record.size(); ++i) {
                                project_on_record(state, row.measured[i], Axis::Z, record[i] != 0);
                              }
                              if (record[record.size() - row.lookback] != 0)
                                state.apply(row.acted_on, *row.pauli);
                            });
  }
}

TEST(CircuitGates, CertainNoiseAppliesItsPauliAndAnnotationsNothing) {
  struct NoiseRow {
    const char* text;
    const Matrix2* pauli;  // null: nothing happens
  };
  const NoiseRow rows[] = {
      {"X_ERROR(1) 1", &pauli_x_matrix},
      {"Y_ERROR(1) 1", &pauli_y_matrix},
      {"Z_ERROR(1) 1", &pauli_z_matrix},
      {"PAULI_CHANNEL_1(0, 1, 0) 1", &pauli_y_matrix},
      {"PAULI_CHANNEL_1(0, 0, 1) 1", &pauli_z_matrix},
      {"X_ERROR(0) 1\nDEPOLARIZE1(0) 1\nDEPOLARIZE2(0) 1 2", nullptr},
      {"TICK\nQUBIT_COORDS(1, 2) 1\nSHIFT_COORDS(0, 1)\nREPEAT 3 {\n  TICK\n}", nullptr},
  };
  for (const NoiseRow& row : rows) {
    check_against_reference(row.text, [&](StateVector& state, const std::vector<std::uint8_t>&) {
      if (row.pauli != nullptr) state.apply(1, *row.pauli);
    });
  }
}

}  // namespace
}  // namespace korvane::testing
