// The circuit text format: what is read, the canonical text printed back, the counts, and every
// refusal with the line it names.
#include <gtest/gtest.h>

#include <string>

#include "korvane/circuit/text/parser.h"
#include "korvane/circuit/text/printer.h"
#include "korvane/engine/base.h"

namespace korvane::testing {
namespace {

using circuit::parse_circuit;
using circuit::print_circuit;
using circuit::Program;

// Every instruction, alias, target form and layout the format allows.
constexpr const char* every_form = R"(# a comment line
h 0 1   # a comment after an instruction
H_XZ 2	3
I 0
sqrt_x 0 1 2
SQRT_X_DAG 0
SQRT_Y 1
SQRT_Y_DAG 1
S_DAG 2
SQRT_Z 2
SQRT_Z_DAG 3
H_XY 3
H_YZ 0
C_XYZ 1
C_ZYX 2
X 0
Y 1
Z 2
CNOT 0 1 2 3
ZCX 1 0
CY 0 2
ZCY 2 0
CZ 3 1
ZCZ 1 3
XCX 0 1
XCY 1 2
XCZ 2 3
YCX 3 0
YCY 0 2
YCZ 1 3
SWAP 0 3

M 0 !1
MZ(0.125) 2
MX !3
MY 0
R 1
RZ 2
RX 3
RY 0
MR 1
MRZ(0.25) !2
MRX 3
MRY 0
CX rec[-1] 1 0 1 rec[-3] 2
CY rec[-2] 3
CZ rec[-1] 0 2 rec[-4]
X_ERROR(0.001) 0 1
Y_ERROR(0.5) 2
Z_ERROR(1) 3
DEPOLARIZE1(0.75) 0
DEPOLARIZE2(1e-3) 0 1 2 3
PAULI_CHANNEL_1(0.1, 0.2, 0.3) 1
DETECTOR(1, 2.5, -3) rec[-1] rec[-2]
DETECTOR rec[-3]
OBSERVABLE_INCLUDE(1) rec[-1]
TICK
QUBIT_COORDS(0.5, 7) 4
SHIFT_COORDS(0, 0, 1)
REPEAT 3 {
    M 0
    REPEAT 2 {
        CX rec[-1] 1
        DETECTOR rec[-1] }
    OBSERVABLE_INCLUDE(0) rec[-1]
}
REPEAT 2 {
}
)";

TEST(CircuitText, CanonicalTextReadsBackToTheSameCircuit) {
  const Program program = parse_circuit(every_form);
  const std::string text = print_circuit(program);
  const Program again = parse_circuit(text);
  EXPECT_TRUE(circuit::same_circuit(program, again)) << text;
  EXPECT_EQ(print_circuit(again), text);
  EXPECT_EQ(again.num_qubits, 5U);
  EXPECT_EQ(again.num_measurements, 9U + 3U);
  EXPECT_EQ(again.num_detectors, 2U + 6U);
  EXPECT_EQ(again.num_observables, 2U);
}

TEST(CircuitText, CanonicalNamesNumbersAndIndentation) {
  const Program program = parse_circuit(
      "cnot 0 1\nMZ(0.5) !0\nrepeat 2 {\n  DEPOLARIZE2(1e-3) 0 1\n  ZCZ 1 rec[-1]\n}\n"
      "OBSERVABLE_INCLUDE(3.0) rec[-1]\n");
  EXPECT_EQ(print_circuit(program),
            "CX 0 1\nM(0.5) !0\nREPEAT 2 {\n    DEPOLARIZE2(0.001) 0 1\n    CZ rec[-1] 1\n}\n"
            "OBSERVABLE_INCLUDE(3) rec[-1]\n");
}

TEST(CircuitText, RepeatBlocksAreLoopsNotCopies) {
  const Program program = parse_circuit(
      "M 0\nREPEAT 1000000000 {\n  REPEAT 1000 {\n    MR 0 1\n    DETECTOR "
      "rec[-1] rec[-3]\n  }\n}\n");
  EXPECT_EQ(program.num_measurements, 1U + 2'000'000'000'000ULL);
  EXPECT_EQ(program.num_detectors, 1'000'000'000'000ULL);
  EXPECT_EQ(program.instructions.size(), 5U);
  EXPECT_EQ(program.deepest_nesting, 2U);
  EXPECT_EQ(program.deepest_lookback, 3U);
}

TEST(CircuitText, EmptyTextIsTheEmptyCircuit) {
  for (const char* text : {"", "\n\n", "# nothing\n   \t\n"}) {
    const Program program = parse_circuit(text);
    EXPECT_TRUE(program.instructions.empty());
    EXPECT_EQ(program.num_qubits, 0U);
    EXPECT_EQ(print_circuit(program), "");
  }
}

TEST(CircuitText, NumbersTooCloseToZeroReadAsZero) {
  const Program program =
      parse_circuit("X_ERROR(1e-400) 0\nQUBIT_COORDS(-0.0000001e-320, 1e-310, 1000e-326) 0");
  EXPECT_EQ(program.arguments, (std::vector<double>{0.0, 0.0, 1e-310, 1e-323}));
  EXPECT_EQ(print_circuit(program), "X_ERROR(0) 0\nQUBIT_COORDS(0, 1e-310, 1e-323) 0\n");
}

struct Refusal {
  const char* text;
  int line;
  const char* says;  // a part of the message
};

// The format's list of errors, each in a few forms, and the line each must name.
const Refusal refusals[] = {
    // an unknown name
    {"H 0\nFOO 1", 2, "unknown instruction 'FOO'"},
    // Pauli products, pairs and bits written wrongly
    {"MPP X0**X1", 1, "does not stand between two Pauli targets"},
    {"MPP X0 *", 1, "does not stand between two Pauli targets"},
    {"SPP 0", 1, "takes Pauli targets"},
    {"MXX 0 1 2", 1, "pairs"},
    {"MZZ 3 3", 1, "one qubit twice"},
    {"MPAD 2", 1, "takes the bits 0 and 1"},
    {"H 0\n\n  ELSE(0.1) 0", 3, "unknown instruction"},
    // a wrong number of targets
    {"CX 0 1 2", 1, "odd number"},
    {"DEPOLARIZE2(0.1) 0", 1, "odd number"},
    {"H", 1, "at least one target"},
    {"M(0.1)", 1, "at least one target"},
    {"R\n", 1, "at least one target"},
    {"TICK 0", 1, "no targets"},
    {"CZ 1 1", 1, "one qubit twice"},
    {"SWAP 0 1 2 2", 1, "one qubit twice"},
    // a qubit where rec[-k] is required, or the reverse
    {"M 0\nDETECTOR 0", 2, "takes rec[-k] targets"},
    {"M 0\nOBSERVABLE_INCLUDE(0) 0", 2, "takes rec[-k] targets"},
    {"M 0\nH rec[-1]", 2, "takes qubit targets"},
    {"M 0\nM rec[-1]", 2, "takes qubit targets"},
    {"M 0\nXCX rec[-1] 0", 2, "takes qubit targets"},
    {"M 0\nCX 0 rec[-1]", 2, "only as its control"},
    {"M 0 1\nCZ rec[-1] rec[-2]", 2, "needs a qubit"},
    {"H !0", 1, "only measurements"},
    {"M 0\nCX !0 1", 2, "only measurements"},
    // rec[-k] reaching before the first measurement
    {"DETECTOR rec[-1]", 1, "before the first measurement"},
    {"M 0 1\nREPEAT 2 {\n  DETECTOR rec[-3]\n  M 0\n}", 3, "before the first measurement"},
    {"M 0\nCX rec[-2] 1", 2, "before the first measurement"},
    {"M 0\nDETECTOR rec[-0]", 2, "starts at 1"},
    // a bad number
    {"H 1.5", 1, "unrecognised target '1.5'"},
    {"H -1", 1, "unrecognised target"},
    {"H 99999999999", 1, "too large"},
    {"M 0\nDETECTOR rec[-x]", 2, "unrecognised target"},
    {"X_ERROR(0.1x) 0", 1, "bad number '0.1x'"},
    {"X_ERROR(nan) 0", 1, "bad number"},
    // a number too large to hold, which must never wrap around
    {"REPEAT 18446744073709551617 {\n}", 1, "REPEAT count '18446744073709551617' is too large"},
    {"H 0\nREPEAT 18446744073709551616 {\n}", 2, "is too large"},
    {"REPEAT 9223372036854775808 {\n}", 1, "is too large"},
    {"H 18446744073709551617", 1, "too large"},
    {"M !99999999999999999999", 1, "too large"},
    {"M 0\nDETECTOR rec[-18446744073709551617]", 2, "too large"},
    {"QUBIT_COORDS(1, 1e999) 0", 1, "'1e999' in the arguments of QUBIT_COORDS is too large"},
    {"M 0\nDETECTOR(-12345678901234567890e300) rec[-1]", 2, "is too large"},
    {"X_ERROR(0.0000000001e320) 0", 1, "is too large"},
    {"M 0\nOBSERVABLE_INCLUDE(1e999) rec[-1]", 2, "is too large"},
    {"X_ERROR() 0", 1, "takes 1 argument, not 0"},
    {"X_ERROR(0.1, 0.2) 0", 1, "takes 1 argument, not 2"},
    {"X_ERROR 0", 1, "takes 1 argument, not 0"},
    {"H(0.1) 0", 1, "takes no arguments"},
    {"M 0\nOBSERVABLE_INCLUDE(0.5) rec[-1]", 2, "not an integer"},
    {"REPEAT x {\n}", 1, "bad REPEAT count"},
    {"X_ERROR(0.1 0", 1, "never closed"},
    {"M(0.1)0", 1, "unexpected '0'"},
    // a probability outside [0, 1], or summing above 1
    {"X_ERROR(1.5) 0", 1, "outside [0, 1]"},
    {"DEPOLARIZE1(-0.1) 0", 1, "outside [0, 1]"},
    {"M(2) 0", 1, "outside [0, 1]"},
    {"PAULI_CHANNEL_1(0.5, 0.4, 0.2) 0", 1, "sum to"},
    // an unbalanced REPEAT brace
    {"H 0\n}", 2, "closes no REPEAT block"},
    {"H 0\nREPEAT 2 {\n  H 0\n", 2, "never closed"},
    {"REPEAT 2 {\n  H 0 }\n}", 3, "closes no REPEAT block"},
    {"REPEAT 2\n  H 0\n}", 1, "expected '{'"},
    {"REPEAT 2 { H 0 }", 1, "nothing may follow"},
    {"H 0 {", 1, "only REPEAT opens a block"},
    // REPEAT 0
    {"H 0\nREPEAT 0 {\n  H 0\n}", 2, "REPEAT 0"},
};

TEST(CircuitText, EveryRefusalIsAnErrorNamingItsLine) {
  for (const Refusal& refusal : refusals) {
    try {
      parse_circuit(refusal.text);
      ADD_FAILURE() << "accepted: " << refusal.text;
    } catch (const engine::InvalidInput& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("line " + std::to_string(refusal.line) + ": ", 0), 0U)
          << refusal.text << " -> " << message;
      EXPECT_NE(message.find(refusal.says), std::string::npos) << refusal.text << " -> " << message;
    }
  }
}

}  // namespace
}  // namespace korvane::testing
