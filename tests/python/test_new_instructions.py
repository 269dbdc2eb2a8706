"""Instructions of the format beyond the first subset, against the stim package on the same text:
the signed single-qubit Cliffords and the two-qubit Cliffords given by their images (the same
stabilizers after each, in canonical form, and the same samples by frames with noise around them),
PAULI_CHANNEL_2 (the same outcome frequencies, by frames and shot by shot), and the instructions
without effect (I_ERROR, II_ERROR, II)."""

import random

import numpy as np
import pytest

from korvane import Circuit, Korvane

stim = pytest.importorskip("stim")

SIGNED = ["C_NXYZ", "C_NZYX", "C_XNYZ", "C_XYNZ", "C_ZNYX", "C_ZYNX", "H_NXY", "H_NXZ", "H_NYZ"]
ALL_SINGLE = SIGNED + ["I", "X", "Y", "Z", "H", "S", "S_DAG", "SQRT_X", "SQRT_X_DAG", "SQRT_Y",
                       "SQRT_Y_DAG", "H_XY", "H_YZ", "C_XYZ", "C_ZYX"]


def stim_stabilizers(text, qubits):
    simulator = stim.TableauSimulator()
    simulator.set_num_qubits(qubits)
    simulator.do(stim.Circuit(text))
    return [str(s) for s in simulator.canonical_stabilizers()]


def test_signed_cliffords_act_as_in_stim():
    rng = random.Random(4)
    for _ in range(30):
        lines = []
        for _ in range(25):
            if rng.random() < 0.3:
                lines.append(f"CX {' '.join(map(str, rng.sample(range(3), 2)))}")
            else:
                lines.append(f"{rng.choice(ALL_SINGLE)} {rng.randrange(3)}")
        text = "\n".join(lines) + "\n"
        sim = Korvane(3)
        sim.run(Circuit(text))
        assert sim.stabilizers() == stim_stabilizers(text, 3), text


PAIRS = ["CXSWAP", "SWAPCX", "CZSWAP", "SWAPCZ", "ISWAP", "ISWAP_DAG", "SQRT_XX", "SQRT_XX_DAG",
         "SQRT_YY", "SQRT_YY_DAG", "SQRT_ZZ", "SQRT_ZZ_DAG", "CX", "CZ", "SWAP"]


def random_pair_circuit(rng, qubits=4, length=30):
    lines = []
    for _ in range(length):
        if rng.random() < 0.5:
            lines.append(f"{rng.choice(PAIRS)} {' '.join(map(str, rng.sample(range(qubits), 2)))}")
        else:
            lines.append(f"{rng.choice(ALL_SINGLE)} {rng.randrange(qubits)}")
    return "\n".join(lines) + "\n"


def test_two_qubit_cliffords_act_as_in_stim():
    rng = random.Random(8)
    for _ in range(30):
        text = random_pair_circuit(rng)
        sim = Korvane(4)
        sim.run(Circuit(text))
        assert sim.stabilizers() == stim_stabilizers(text, 4), text
        for version in (2, 3):
            back = Korvane(4)
            back.run(Circuit.from_qasm(Circuit(text).to_qasm(version=version)))
            assert back.stabilizers() == sim.stabilizers()


def test_two_qubit_cliffords_carry_noise_on_frames_as_in_stim():
    rng = random.Random(9)
    text = "H 0 2\nX_ERROR(0.2) 0 1\nZ_ERROR(0.3) 2 3\n" + random_pair_circuit(rng) + "M 0 1 2 3\n"
    expected = stim.Circuit(text).compile_sampler(seed=1).sample(20_000).mean(axis=0)
    for method in ("frames", "shots"):
        found = Circuit(text).sample(20_000, seed=3, method=method).mean(axis=0)
        assert np.allclose(found, expected, atol=0.015), (method, found, expected)


def test_every_single_qubit_clifford_is_a_gate_and_prints_by_its_name():
    for name in SIGNED:
        assert str(Circuit(f"{name.lower()} 0 1")) == f"{name} 0 1\n"
    assert Circuit("\n".join(f"{name} 0" for name in ALL_SINGLE)).num_qubits == 1


def test_pauli_channel_2_samples_as_stim():
    probabilities = [0.01 * (k % 4 + 1) for k in range(15)]
    text = (f"H 0 1\nPAULI_CHANNEL_2({', '.join(map(str, probabilities))}) 0 1\n"
            "H 0 1\nM 0 1\nPAULI_CHANNEL_2(0, 0, 0, 0.3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0) 2 3\nM 2 3\n")
    shots = 40_000
    expected = stim.Circuit(text).compile_sampler(seed=1).sample(shots).mean(axis=0)
    for method in ("frames", "shots"):
        found = Circuit(text).sample(shots, seed=2, method=method).mean(axis=0)
        assert np.allclose(found, expected, atol=0.01), (method, found, expected)
    # The first letter acts on the first target of the pair.
    assert Circuit("PAULI_CHANNEL_2(1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0) 0 1\nM 0 1\n"
                   ).sample(1).tolist() == [[False, True]]


def test_instructions_without_effect():
    text = "I_ERROR 0\nI_ERROR(0.1, 0.2) 0 1\nII_ERROR(0.5) 0 1\nII 2 3\nH 0\nM 0 1 2 3\n"
    circuit = Circuit(text)
    assert str(circuit) == "I_ERROR 0\nI_ERROR(0.1, 0.2) 0 1\nII_ERROR(0.5) 0 1\nII 2 3\nH 0\nM 0 1 2 3\n"
    assert not circuit.sample(200, seed=1)[:, 1:].any()
    for bad, message in [("I_ERROR(0.5, 0.6) 0", "sum to 1.1"), ("II 0 0", "acts on one qubit twice"),
                         ("II 0", "odd number"), ("I_ERROR !0", "inverted target"),
                         ("PAULI_CHANNEL_2(0.1) 0 1", "takes 15 arguments")]:
        with pytest.raises(ValueError, match=message):
            Circuit(bad)
