"""OpenQASM in and out: Qiskit's exporters read with Qiskit's stabilizers, korvane's text read back
by Qiskit with the same state, measurement statistics against Qiskit Aer's stabilizer simulator,
conditions exact shot by shot, registers by name, and the refusals, each naming its line."""

import random

import numpy as np
import pytest

from korvane import Circuit, Korvane

qiskit = pytest.importorskip("qiskit")
qasm2 = pytest.importorskip("qiskit.qasm2")
qasm3 = pytest.importorskip("qiskit.qasm3")
from qiskit.circuit.random import random_clifford_circuit  # noqa: E402
from qiskit.quantum_info import StabilizerState, random_clifford  # noqa: E402

ALL_CLIFFORD_GATES = ["i", "x", "y", "z", "h", "s", "sdg", "sx", "sxdg",
                      "cx", "cz", "cy", "swap", "iswap", "ecr", "dcx"]


def multiply(a, b):
    """Product of two signed Pauli rows (phase as a power of i, letters qubit 0 first)."""
    table = {("X", "Y"): ("Z", 1), ("Y", "Z"): ("X", 1), ("Z", "X"): ("Y", 1),
             ("Y", "X"): ("Z", 3), ("Z", "Y"): ("X", 3), ("X", "Z"): ("Y", 3)}
    power, letters = (a[0] + b[0]) % 4, []
    for p, q in zip(a[1], b[1]):
        if p == "_" or q == "_" or p == q:
            letters.append("_" if p == q else (q if p == "_" else p))
        else:
            letter, extra = table[(p, q)]
            letters.append(letter)
            power = (power + extra) % 4
    return power, letters


def canonical(generators):
    """The canonical form of korvane.stabilizers(), computed independently from any generators."""
    rows = [(0 if g[0] == "+" else 2, list(g[1:])) for g in generators]
    n, start = len(rows[0][1]) if rows else 0, 0
    for qubit in range(n):
        for letters in ("XY", "ZY"):
            pivot = next((r for r in range(start, len(rows)) if rows[r][1][qubit] in letters), None)
            if pivot is None:
                continue
            rows[start], rows[pivot] = rows[pivot], rows[start]
            for r in range(len(rows)):
                if r != start and rows[r][1][qubit] in letters:
                    rows[r] = multiply(rows[r], rows[start])
            start += 1
    return [("+" if power == 0 else "-") + "".join(letters) for power, letters in rows]


def qiskit_stabilizers(circuit):
    labels = StabilizerState(circuit).clifford.to_labels(mode="S")
    return canonical([label[0] + label[:0:-1].replace("I", "_") for label in labels])


def korvane_stabilizers(circuit):
    sim = Korvane(circuit.num_qubits)
    sim.run(circuit)
    return sim.stabilizers()


def random_qiskit_circuits():
    for seed in range(12):
        yield random_clifford_circuit(5, 40, gates=ALL_CLIFFORD_GATES, seed=seed)
    for seed in range(4):
        yield random_clifford(4, seed=seed).to_circuit()


class TestQiskitExports:
    @pytest.mark.parametrize("version", [2, 3])
    def test_read_with_the_same_stabilizers(self, version):
        dumps = qasm2.dumps if version == 2 else qasm3.dumps
        for qc in random_qiskit_circuits():
            circuit = Circuit.from_qasm(dumps(qc))
            assert korvane_stabilizers(circuit) == qiskit_stabilizers(qc)

    @pytest.mark.parametrize("version", [2, 3])
    def test_korvane_out_qiskit_in_keeps_the_state(self, version):
        loads = qasm2.loads if version == 2 else qasm3.loads
        rng = random.Random(version)
        single = ["H", "S", "S_DAG", "SQRT_X", "SQRT_X_DAG", "SQRT_Y", "SQRT_Y_DAG", "H_XY",
                  "H_YZ", "C_XYZ", "C_ZYX", "X", "Y", "Z", "I"]
        pairs = ["CX", "CY", "CZ", "XCX", "XCY", "XCZ", "YCX", "YCY", "YCZ", "SWAP", "ISWAP",
                 "CXSWAP", "SQRT_YY_DAG"]
        for _ in range(10):
            lines = []
            for _ in range(40):
                gate = rng.choice(single + pairs + ["SPP", "SPP_DAG"])
                if gate.startswith("SPP"):
                    lines.append(gate + " " + "*".join(
                        rng.choice(("", "!")) + rng.choice("XYZ") + str(q)
                        for q in rng.sample(range(4), rng.randint(1, 4))))
                    continue
                qubits = rng.sample(range(4), 2 if gate in pairs else 1)
                lines.append(f"{gate} {' '.join(map(str, qubits))}")
            circuit = Circuit("\n".join(lines) + "\nTICK\nREPEAT 2 {\n    H 3\n}\n")
            qc = loads(circuit.to_qasm(version=version))
            assert qiskit_stabilizers(qc) == korvane_stabilizers(circuit)

    def test_round_trip_keeps_measurements_resets_and_feedback(self):
        text = ("H 0\nMX 0\nMY !1\nMR 0\nRX 2\nRY 1\nCX rec[-1] 2\nCZ 3 rec[-2]\nM 0 1 2 3\n"
                "H 1\nCX 1 2\nMPP !X1*X2 Y1*Y2 Z0*!Y3\nMZZ 1 !2\n")
        circuit = Circuit(text)
        for version in (2, 3):
            back = Circuit.from_qasm(circuit.to_qasm(version=version))
            assert back.num_measurements == circuit.num_measurements
            expected = circuit.sample(2000, seed=5, method="shots").mean(axis=0)
            assert np.allclose(back.sample(2000, seed=6).mean(axis=0), expected, atol=0.07)
            assert np.allclose(back.sample(2000, seed=7, method="shots").mean(axis=0), expected,
                               atol=0.07)


    def test_modifiers_slices_and_aliases(self):
        text = """OPENQASM 3.0;
include "stdgates.inc";
qubit[6] q;
let evens = q[0:2:4];
let rest = q[{1, 3}] ++ q[5];
h evens;
ctrl @ x q[0], q[1];
negctrl @ z q[2], q[3];
pow(2) @ s q[4];
inv @ sx q[5];
ctrl @ y evens, rest;
pow(-1) @ inv @ cp(pi) q[1], q[5];
"""
        qc = qiskit.QuantumCircuit(6)
        for q in (0, 2, 4):
            qc.h(q)
        qc.cx(0, 1)
        qc.x(2), qc.cz(2, 3), qc.x(2)
        qc.z(4)
        qc.sxdg(5)
        for control, target in ((0, 1), (2, 3), (4, 5)):
            qc.cy(control, target)
        qc.cz(1, 5)
        assert korvane_stabilizers(Circuit.from_qasm(text)) == qiskit_stabilizers(qc)
        physical = Circuit.from_qasm('OPENQASM 3;\ninclude "stdgates.inc";\nh $3;\ncx $3, $0;\n')
        assert physical.num_qubits == 4 and physical.qubit_registers == {}

    def test_cliffords_only_as_a_whole_and_gates_that_are_never_clifford(self):
        text = 'OPENQASM 2.0;\ninclude "qelib1.inc";\nqreg q[2];\n' \
               "gate twice_t a { t a; t a; }\ntwice_t q[0];\nrzz(pi/2) q[0], q[1];\n"
        qc = qiskit.QuantumCircuit(2)
        qc.s(0)
        qc.rzz(np.pi / 2, 0, 1)
        assert korvane_stabilizers(Circuit.from_qasm(text)) == qiskit_stabilizers(qc)
        for gate in ("ccx q[0], q[1], q[2];", "rccx q[0], q[1], q[2];", "ch q[0], q[1];"):
            with pytest.raises(ValueError, match=f"^line 4: the gate {gate[:gate.index(' ')]} is not"):
                Circuit.from_qasm(f'OPENQASM 2.0;\ninclude "qelib1.inc";\nqreg q[3];\n{gate}')


class TestAgainstAer:
    def test_measurement_statistics_with_conditions(self):
        aer = pytest.importorskip("qiskit_aer")
        text = """OPENQASM 2.0;
include "qelib1.inc";
qreg q[3];
creg a[2];
creg b[1];
h q[0];
cx q[0], q[1];
h q[2];
s q[2];
measure q[0] -> a[0];
measure q[2] -> a[1];
if(a==3) x q[1];
if(a==1) h q[2];
measure q[1] -> b[0];
measure q[2] -> a[0];
"""
        circuit = Circuit.from_qasm(text)
        shots = 4000
        counts = aer.AerSimulator(method="stabilizer").run(
            qasm2.loads(text), shots=shots, seed_simulator=3).result().get_counts()
        records = circuit.sample(shots, seed=4, method="shots")
        registers = circuit.bit_registers
        seen = {}
        for row in records:
            value = lambda bits: "".join("1" if row[i] else "0" for i in reversed(bits))  # noqa: E731
            key = value(registers["b"]) + " " + value(registers["a"])
            seen[key] = seen.get(key, 0) + 1
        assert set(seen) == set(counts)
        for key, count in counts.items():
            assert abs(seen[key] - count) / shots < 0.05


class TestConditionsAndRegisters:
    TELEPORT = """OPENQASM 3.0;
include "stdgates.inc";
qubit[3] q;
bit m0;
bit m1;
bit out;
sx q[0];
h q[1];
cx q[1], q[2];
cx q[0], q[1];
h q[0];
m0 = measure q[0];
m1 = measure q[1];
if (m1) x q[2];
if (m0 == 1) { z q[2]; }
inv @ sx q[2];
out = measure q[2];
"""

    def test_teleportation_by_frames_and_by_shots(self):
        circuit = Circuit.from_qasm(self.TELEPORT)
        assert str(circuit).count("rec[-") == 2
        out = circuit.bit_registers["out"][0]
        for method in ("frames", "shots"):
            assert not circuit.sample(500, seed=1, method=method)[:, out].any()

    def test_conditions_on_several_bits_run_only_shot_by_shot(self):
        text = 'OPENQASM 2.0;\ninclude "qelib1.inc";\nqreg q[3];\ncreg c[2];\nh q[0];\nh q[1];\n' \
               'measure q[0] -> c[0];\nmeasure q[1] -> c[1];\nif(c==2) x q[2];\n' \
               'measure q[2] -> c[0];\n'
        circuit = Circuit.from_qasm(text)
        with pytest.raises(ValueError, match=r"^line 9: method='frames' cannot run this if\(\)"):
            circuit.sample(10)
        with pytest.raises(ValueError, match="^line 9: the circuit text format cannot write"):
            str(circuit)
        records = circuit.sample(4000, seed=2, method="shots")
        assert np.array_equal(records[:, 2], ~records[:, 0] & records[:, 1])
        assert repr(circuit).startswith("korvane.Circuit.from_qasm(")
        assert Circuit.from_qasm(circuit.to_qasm(3)).bit_registers == {"c": (2, 1)}

    def test_registers_map_in_declaration_order(self):
        circuit = Circuit.from_qasm(
            "OPENQASM 3;\ninclude 'stdgates.inc';\nqubit[2] a;\nqubit b;\nbit[3] c;\nbit d;\n"
            "let both = a[1] ++ b;\nx both;\nc[2] = measure b;\nc[0] = measure a[0];\n"
            "measure a[1];\nd = measure a[1];\n")
        assert circuit.qubit_registers == {"a": (0, 1), "b": (2,)}
        assert circuit.bit_registers == {"c": (1, None, 0), "d": (3,)}
        assert circuit.sample(1).tolist() == [[True, False, True, True]]


@pytest.mark.parametrize("text, message", [
    ("qreg q[1];\nt q[0];", "line 2: unknown gate 't': include \"qelib1.inc\" defines it"),
    ('include "qelib1.inc";\nqreg q[2];\n\ncrz(0.5) q[0], q[1];',
     r"line 4: the gate crz\(0.5\) is not a Clifford gate"),
    ('include "qelib1.inc";\nqreg q[1];\nu3(pi/2, pi/4, 0) q[0];',
     r"line 3: the gate u3\(1.5707963267948966, 0.7853981633974483, 0\) is not a Clifford"),
    ('include "stdgates.inc";\nqubit q;\ngate g a { t a; }\ng q;', "line 4: the gate g is not"),
    ('include "qelib1.inc";\nqreg q[1];\ncreg c[1];\nif(c==1) measure q[0] -> c[0];',
     "line 4: a measurement under if"),
    ("qubit[2] q;\nfor int i in [0:1] { }", "line 2: 'for' is not supported"),
    ('include "foo.inc";', "line 1: cannot include 'foo.inc'"),
    ("qreg q[2];\nCX q[0], q[0];", "line 2: a gate names qubit 0 twice"),
    ("qreg q[3];\ngate g a, b { CX b, a; CX a, a; }\ng q[2], q[0];",
     "line 3: the gate 'g' acts on qubit 2 twice within its definition"),
    ("qreg q[2];\nqreg r[3];\nCX q, r;", "line 3: the registers of this statement have different"),
])
def test_refusals_name_the_line(text, message):
    with pytest.raises(ValueError, match="^" + message):
        Circuit.from_qasm(text)


@pytest.mark.parametrize("text, message", [
    ("H 0\nDEPOLARIZE1(0.1) 0", "line 2: DEPOLARIZE1 is noise, which OpenQASM cannot express"),
    ("M(0.1) 0", r"line 1: M\(p\) flips its results at random"),
    ("M 0\nDETECTOR rec[-1]", "line 2: DETECTOR is an annotation of error correction"),
    ("HERALDED_ERASE(0.1) 0", "line 1: HERALDED_ERASE is noise"),
    ("MPAD 1", "line 1: MPAD records bits without measuring"),
    ("H 0\nMPP X0*Z0", "line 2: the anti-Hermitian product X0\\*Z0"),
    ("MPP X0*X0", "line 1: a measurement of the identity product"),
])
def test_to_qasm_refuses_what_it_cannot_express(text, message):
    with pytest.raises(ValueError, match="^" + message):
        Circuit(text).to_qasm()
