// OpenQASM: Cliffords recognised from their matrices and written back as gates, the text format's
// circuits through OpenQASM and back with the same state, conditions, and refusals by line.
#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "korvane/circuit/condition.h"
#include "korvane/circuit/gates/clifford_synthesis.h"
#include "korvane/circuit/qasm/reader.h"
#include "korvane/circuit/qasm/small_unitary.h"
#include "korvane/circuit/qasm/writer.h"
#include "korvane/circuit/run/register_run.h"
#include "korvane/circuit/sampling/sampler.h"
#include "korvane/circuit/text/parser.h"
#include "korvane/circuit/text/printer.h"
#include "korvane/engine/base.h"
#include "korvane/engine/io/stabilizers.h"
#include "korvane/engine/random/thread_generator.h"

namespace korvane::testing {
namespace {

using circuit::CliffordStep;
using circuit::qasm::Unitary;

const std::complex<double> i_unit{0, 1};

Unitary single(std::complex<double> a, std::complex<double> b, std::complex<double> c,
               std::complex<double> d) {
  return Unitary(1, {a, b, c, d});
}

// A random Clifford on `qubits` qubits as a product of H, S and CX matrices.
Unitary random_clifford(std::size_t qubits, std::mt19937& rng) {
  const double r = 1 / std::sqrt(2.0);
  const Unitary h = single(r, r, r, -r), s = single(1, 0, 0, i_unit);
  Unitary u(qubits);
  for (int step = 0; step < 30; ++step) {
    const std::size_t a = rng() % qubits, b = (a + 1 + rng() % qubits) % qubits;
    const std::array<std::size_t, 2> pair{a, b};
    switch (rng() % (a == b ? 2 : 3)) {
      case 0:
        u.then(h, std::span(pair).first(1));
        break;
      case 1:
        u.then(s, std::span(pair).first(1));
        break;
      default:
        u.then(circuit::qasm::cx_gate(), pair);
    }
  }
  return u;
}

// The product of synthesised steps, each built from the VOP's images as a matrix.
Unitary rebuilt(const std::vector<CliffordStep>& steps, std::size_t qubits) {
  std::vector<Unitary> vops(clifford::vop_count, Unitary(1));
  // Every single-qubit Clifford is U(a, b, c) at multiples of pi/2: find each VOP's.
  for (int turns = 0; turns < 64; ++turns) {
    const double q = std::numbers::pi / 2;
    const Unitary u = circuit::qasm::u_gate(q * (turns % 4), q * (turns / 4 % 4), q * (turns / 16));
    vops[circuit::single_qubit_vop(*circuit::qasm::clifford_tableau(u))] = u;
  }
  Unitary u(qubits);
  const Unitary swap(2, {1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1});
  for (const CliffordStep& step : steps) {
    const std::array<std::size_t, 2> pair{step.a, step.b};
    if (step.type == CliffordStep::Type::vop) u.then(vops[step.vop], std::span(pair).first(1));
    if (step.type == CliffordStep::Type::cx) u.then(circuit::qasm::cx_gate(), pair);
    if (step.type == CliffordStep::Type::swap) u.then(swap, pair);
  }
  return u;
}

TEST(QasmCliffords, SynthesisedStepsMultiplyBackToTheCliffordUpToPhase) {
  std::mt19937 rng(7);
  for (std::size_t qubits = 1; qubits <= 4; ++qubits) {
    for (int trial = 0; trial < 20; ++trial) {
      const Unitary u = random_clifford(qubits, rng);
      const auto tableau = circuit::qasm::clifford_tableau(u);
      ASSERT_TRUE(tableau.has_value());
      const Unitary back = rebuilt(circuit::synthesize(*tableau), qubits);
      // Equal up to phase: U^dagger V is a multiple of the identity.
      std::complex<double> phase = 0;
      for (std::size_t k = 0; k < u.dimension(); ++k)
        phase += std::conj(u.at(k, 0)) * back.at(k, 0);
      for (std::size_t r = 0; r < u.dimension(); ++r) {
        for (std::size_t c = 0; c < u.dimension(); ++c) {
          ASSERT_LT(std::abs(u.at(r, c) * phase - back.at(r, c)), 1e-9);
        }
      }
    }
  }
}

TEST(QasmCliffords, NonCliffordsAreRecognised) {
  EXPECT_FALSE(circuit::qasm::clifford_tableau(single(1, 0, 0, std::polar(1.0, 0.25))));
  Unitary controlled_s(2);
  controlled_s.at(3, 3) = i_unit;
  EXPECT_FALSE(circuit::qasm::clifford_tableau(controlled_s));
  EXPECT_TRUE(circuit::qasm::clifford_tableau(circuit::qasm::u_gate(0, 0, std::numbers::pi / 2)));
}

std::vector<std::string> state_after(const circuit::Program& program) {
  engine::Register reg(program.num_qubits);
  std::vector<std::uint8_t> record(program.num_measurements);
  circuit::run_once(program, reg, engine::thread_generator(), record.data());
  return engine::canonical_stabilizers(reg);
}

TEST(Qasm, TextCircuitsGoThroughBothVersionsWithTheirState) {
  const std::array<const char*, 25> gates{
      "I",      "X",          "Y",    "Z",    "H",     "S",     "S_DAG", "SQRT_X", "SQRT_X_DAG",
      "SQRT_Y", "SQRT_Y_DAG", "H_XY", "H_YZ", "C_XYZ", "C_ZYX", "CX",    "CY",     "CZ",
      "XCX",    "XCY",        "XCZ",  "YCX",  "YCY",   "YCZ",   "SWAP"};
  std::mt19937 rng(11);
  for (int trial = 0; trial < 20; ++trial) {
    std::string text;
    for (int line = 0; line < 60; ++line) {
      const std::size_t g = rng() % gates.size();
      const unsigned a = rng() % 5, b = (a + 1 + rng() % 4) % 5;
      text.append(gates[g]).append(" ").append(std::to_string(a));
      if (g >= 15) text.append(" ").append(std::to_string(b));  // the two-qubit gates
      text.append("\n");
    }
    const circuit::Program program = circuit::parse_circuit(text + "REPEAT 2 {\n  H 4\n}\nTICK\n");
    for (const int version : {2, 3}) {
      const auto read =
          circuit::qasm::read_qasm(circuit::qasm::write_qasm(program, nullptr, version));
      ASSERT_EQ(state_after(read.program), state_after(program)) << text;
    }
  }
}

TEST(Qasm, ConditionsBecomeConditionInstructionsOverTheBitsTheValueRestsOn) {
  const auto read = circuit::qasm::read_qasm(R"(OPENQASM 2.0;
include "qelib1.inc";
qreg q[2];
creg c[3];
measure q[0] -> c[0];
measure q[1] -> c[2];
measure q[0] -> c[0];
if(c==5) x q[1];
if(c==2) x q[1];
if(c==0) z q[0];
)");
  const circuit::Program& program = read.program;
  ASSERT_EQ(program.conditions.size(), 2U);  // c==2 needs c[1], never written: it never holds
  const std::size_t first = 3;               // three measurements, then the first condition
  ASSERT_EQ(program.instructions[first].kind, circuit::Kind::condition);
  const auto targets = program.targets_of(program.instructions[first]);
  // c[0] is the third recorded bit (rec[-1]), c[2] the second (rec[-2]); both must be 1.
  EXPECT_EQ(
      std::vector<std::uint32_t>(targets.begin(), targets.end()),
      (std::vector<std::uint32_t>{1 | circuit::expects_one_flag, 2 | circuit::expects_one_flag}));
  EXPECT_EQ(program.conditions[0].body, 1U);
  EXPECT_EQ(read.layout.record_places.size(), 3U);
}

TEST(Qasm, WrittenInTheSyntaxOfEachVersion) {
  const circuit::Program program =
      circuit::parse_circuit("H_XY 0\nXCZ 0 1\nSWAP 0 1\nMY !1\nCX rec[-1] 0\nRX 1\n");
  EXPECT_EQ(circuit::qasm::write_qasm(program, nullptr, 2),
            "OPENQASM 2.0;\ninclude \"qelib1.inc\";\n"
            "gate xcz a, b { h a; cz a, b; h a; }\n"
            "qreg q[2];\ncreg rec0[1];\n"
            "U(pi, 0, pi/2) q[0];\nxcz q[0], q[1];\n"
            "cx q[0], q[1];\ncx q[1], q[0];\ncx q[0], q[1];\n"
            "sdg q[1];\nh q[1];\nx q[1];\nmeasure q[1] -> rec0[0];\nx q[1];\nh q[1];\ns q[1];\n"
            "if(rec0==1) x q[0];\nreset q[1];\nh q[1];\n");
  const std::string three = circuit::qasm::write_qasm(program, nullptr, 3);
  EXPECT_NE(three.find("bit[1] rec;\n"), std::string::npos);
  EXPECT_NE(three.find("swap q[0], q[1];\n"), std::string::npos);
  EXPECT_NE(three.find("rec[0] = measure q[1];\n"), std::string::npos);
  EXPECT_NE(three.find("if (rec[0] == true) x q[0];\n"), std::string::npos);
}

TEST(Qasm, ConditionsRunExactlyShotByShot) {
  // q1 and q2 are random; q3 is flipped only when both read 1, q4 when they differ from 11.
  const auto read = circuit::qasm::read_qasm(R"(OPENQASM 3;
include "stdgates.inc";
qubit[5] q;
bit[2] c;
bit[3] out;
h q[1];
h q[2];
c[0] = measure q[1];
c[1] = measure q[2];
if (c == 3) { x q[3]; } else { x q[4]; }
out[0] = measure q[3];
out[1] = measure q[4];
if (c != 3) x q[0];
out[2] = measure q[0];
)");
  const circuit::Program& program = read.program;
  std::vector<std::uint8_t> records(400 * program.num_measurements);
  circuit::Sampler(program, circuit::SamplingMethod::shots, 5, 400)
      .sample_measurements(records.data());
  std::array<int, 4> seen{};
  for (std::size_t shot = 0; shot < 400; ++shot) {
    const std::uint8_t* bits = &records[shot * 5];
    const bool both = bits[0] != 0 && bits[1] != 0;
    ASSERT_EQ(bits[2] != 0, both);
    ASSERT_EQ(bits[3] != 0, !both);
    ASSERT_EQ(bits[4] != 0, !both);
    ++seen[bits[0] + 2 * bits[1]];
  }
  for (const int count : seen) EXPECT_GT(count, 50);
  EXPECT_THROW(circuit::check_frames_can_run(program), engine::InvalidInput);
}

TEST(Qasm, FeedbackOnOneBitIsWrittenAsTheTextFormatWritesIt) {
  const auto read = circuit::qasm::read_qasm(
      "qreg q[2];\ncreg c[1];\nU(pi/2, 0, pi) q[0];\nmeasure q[0] -> c[0];\n"
      "if(c==0) U(pi, 0, pi) q[1];\nif(c==1) U(0, 0, pi) q[1];\n");
  EXPECT_NO_THROW(circuit::check_frames_can_run(read.program));
  // Asking for a 0 applies the Pauli, then undoes it where the bit is 1.
  EXPECT_EQ(circuit::print_circuit(read.program), "H 0\nM 0\nX 1\nCX rec[-1] 1\nCZ rec[-1] 1\n");
}

TEST(Qasm, RefusalsNameTheLine) {
  const auto message = [](const char* text) {
    try {
      circuit::qasm::read_qasm(text);
    } catch (const engine::InvalidInput& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("/* two\nlines */ qreg q[1];\nU(0.1, 0, 0) q[0];"),
            "line 3: the gate U(0.1, 0, 0) is not a Clifford gate: korvane simulates Clifford "
            "circuits, whose angles are multiples of pi/2");
  EXPECT_EQ(message("qreg q[1];\nqreg q[2];"), "line 2: 'q' is already declared");
  EXPECT_EQ(message("qreg q[1];\nU(pi) q[0];"), "line 2: the gate 'U' takes 3 parameters, not 1");
  EXPECT_EQ(message("qreg q[2];\nqreg r[1];\nCX q[2], r[0];"),
            "line 3: index 2 is out of range for 'q' of size 2");
  EXPECT_EQ(message("OPENQASM 4.0;"),
            "line 1: korvane reads OpenQASM 2.0 and 3, not version '4.0'");
}

}  // namespace
}  // namespace korvane::testing
