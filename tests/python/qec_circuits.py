"""Random noisy circuits with deterministic detectors, and the canonical form of detector error
models, for checking korvane's error analysis against the tableau simulator."""

import random
import re

from reference import CIRCUIT_CLIFFORDS, CIRCUIT_PAIRS

INVERSE_PAIRS = [("S", "S_DAG"), ("SQRT_X", "SQRT_X_DAG"), ("SQRT_Y", "SQRT_Y_DAG"),
                 ("C_XYZ", "C_ZYX"), ("C_NXYZ", "C_ZYNX"), ("C_NZYX", "C_XYNZ"), ("C_XNYZ", "C_ZNYX"),
                 ("CXSWAP", "SWAPCX"), ("ISWAP", "ISWAP_DAG"), ("SQRT_XX", "SQRT_XX_DAG"),
                 ("SQRT_YY", "SQRT_YY_DAG"), ("SQRT_ZZ", "SQRT_ZZ_DAG")]
INVERSE = {name: name for name in CIRCUIT_CLIFFORDS + CIRCUIT_PAIRS}
INVERSE |= {a: b for a, b in INVERSE_PAIRS} | {b: a for a, b in INVERSE_PAIRS}
# The gate taking Z to a basis, and the measurements (plain, and with reset) of that basis.
BASES = [("I", "M", "MR"), ("H", "MX", "MRX"), ("H_YZ", "MY", "MRY")]


def random_noise(rng, n):
    a, b = rng.sample(range(n), 2)
    return rng.choice([
        f"{rng.choice(['X_ERROR', 'Y_ERROR', 'Z_ERROR'])}(0.02) {a}",
        f"DEPOLARIZE1(0.03) {a} {b}",
        f"DEPOLARIZE2(0.04) {a} {b}",
        f"PAULI_CHANNEL_1(0.01, 0.02, 0.03) {a}",
    ])


def random_unitary(rng, n, length):
    gates = []
    for _ in range(length):
        a, b = rng.sample(range(n), 2)
        if rng.random() < 0.5:
            gates.append((rng.choice(CIRCUIT_CLIFFORDS), (a,)))
        else:
            gates.append((rng.choice(CIRCUIT_PAIRS), (a, b)))
    return gates


def segment(rng, n, coordinates):
    """U, noise, U^-1, each qubit measured on a random axis where it is certain, a detector on
    each result and on its parity with the qubit's result one segment before, results fed
    forward into X, Y or Z on another qubit (a no-op without noise)."""
    lines = []
    unitary = random_unitary(rng, n, 8)
    inverse = [(INVERSE[name], qubits) for name, qubits in reversed(unitary)]
    for name, qubits in unitary + inverse:
        lines.append(f"{name} {' '.join(map(str, qubits))}")
        if rng.random() < 0.4:
            lines.append(random_noise(rng, n))
    for q in range(n):
        turn, measure, measure_reset = rng.choice(BASES)
        flip = rng.choice(["", "(0.01)"])
        lines += [f"{turn} {q}", f"{rng.choice([measure, measure_reset])}{flip} {q}",
                  f"{INVERSE[turn]} {q}"]
        lines.append(f"DETECTOR({q}, {coordinates}) rec[-1]")
    for q in range(n):
        lines.append(f"DETECTOR rec[-{n - q}] rec[-{2 * n - q}]")
    lines.append(f"{rng.choice(['CX', 'CY', 'CZ'])} rec[-{rng.randint(1, n)}] {rng.randrange(n)}")
    lines.append(f"OBSERVABLE_INCLUDE({rng.randrange(2)}) rec[-{rng.randint(1, n)}]")
    return lines


def random_noisy_circuit(seed, n=4, unrolled=False):
    """Three segments after a first noiseless measurement of every qubit; the middle one
    repeated (written out three times when `unrolled`)."""
    rng = random.Random(seed)
    lines = [f"M {' '.join(map(str, range(n)))}"]
    lines += segment(rng, n, 0)
    body = [*segment(rng, n, 1), "SHIFT_COORDS(0, 2)"]
    lines += body * 3 if unrolled else ["REPEAT 3 {", *body, "}"]
    lines += segment(rng, n, 2)
    return "\n".join(lines) + "\n"


# Deterministic detectors through pads, pair measurements, two-qubit Cliffords, square roots of
# products undone and product measurements, with noise (flips of pads and products included).
PRODUCTS_AND_PADS = """R 0 1 2 3
MPAD(0.05) 0 1
H 0
CX 0 1
DEPOLARIZE1(0.02) 0 1
MXX(0.01) 0 1
MZZ !0 1
DETECTOR rec[-1]
DETECTOR rec[-2]
DETECTOR rec[-3]
ISWAP 1 2
PAULI_CHANNEL_2(0, 0, 0, 0, 0, 0, 0.03, 0, 0, 0, 0, 0, 0, 0, 0) 1 2
DEPOLARIZE2(0.02) 2 3
SQRT_XX 2 3
X_ERROR(0.03) 3
SPP X2*Y3
Z_ERROR(0.04) 2
SPP_DAG X2*Y3
SQRT_XX_DAG 2 3
CXSWAP 1 2
II_ERROR(0.1) 0 1
I_ERROR(0.1) 0
SWAPCX 1 2
ISWAP_DAG 1 2
Y_ERROR(0.02) 1
MPP(0.02) X0*X1 Z0*Z1 Z2 Z3
DETECTOR rec[-1]
DETECTOR rec[-2]
DETECTOR rec[-3]
DETECTOR rec[-4]
OBSERVABLE_INCLUDE(0) rec[-4] rec[-8]
"""
# The same with heralds recorded, one of them under a detector.
HERALDED = PRODUCTS_AND_PADS + """HERALDED_ERASE(0.2) 0 2
HERALDED_PAULI_CHANNEL_1(0.05, 0.1, 0.05, 0.1) 1
DETECTOR rec[-2]
MPP Z0*Z1
DETECTOR rec[-1]
"""


PAULI_CODES = {1: "X", 2: "Y", 3: "Z"}


def independent_cases(name, arguments):
    """{(first Pauli, second Pauli or None): probability} of the channel's independent
    mechanisms, from the closed forms: a disjoint channel with eigenvalues l_P has
    1 - 2 q_C = prod over P of l_P^(+-2 / 4^n)."""
    if name in ("X_ERROR", "Y_ERROR", "Z_ERROR"):
        return {(name[0], None): arguments[0]}
    if name == "DEPOLARIZE1":
        q = (1 - (1 - 4 * arguments[0] / 3) ** 0.5) / 2
        return {(pauli, None): q for pauli in "XYZ"}
    if name == "DEPOLARIZE2":
        q = (1 - (1 - 16 * arguments[0] / 15) ** (1 / 8)) / 2
        return {(PAULI_CODES.get(c >> 2, "I"), PAULI_CODES.get(c & 3, "I")): q
                for c in range(1, 16)}
    px, py, pz = arguments
    eigen = {"X": 1 - 2 * (py + pz), "Y": 1 - 2 * (px + pz), "Z": 1 - 2 * (px + py)}
    others = {"X": "YZ", "Y": "XZ", "Z": "XY"}
    return {(c, None): (1 - (eigen[others[c][0]] * eigen[others[c][1]] / eigen[c]) ** 0.5) / 2
            for c in "XYZ"}


def reference_error_model(text, korvane):
    """The error model of a circuit without REPEAT, found forwards: each mechanism's Pauli put
    into the noiseless circuit as a gate (a measurement's flip as an inverted target), one shot
    run on the graph engine, and the detectors and observables that its record flips. Returns
    {symptoms: probability}, identical symptoms merged as independent events."""
    lines = text.splitlines()

    def noiseless(line):
        """The line without its noise: none for a channel, the bare measurement."""
        if not is_noise(line):
            return line
        return re.sub(r"\(.*\)", "", line) if line.startswith("M") else ""

    reference = korvane.Circuit("\n".join(map(noiseless, lines)))

    def symptoms_with(index, replacement):
        kept = [replacement if i == index else noiseless(line) for i, line in enumerate(lines)]
        records = korvane.Circuit("\n".join(kept)).sample(1, method="shots")
        detectors, observables = reference.detection_events(records)
        return tuple([f"D{k}" for k in detectors[0].nonzero()[0]] +
                     [f"L{k}" for k in observables[0].nonzero()[0]])

    model = {}
    for index, line in enumerate(lines):
        if not is_noise(line):
            continue
        gate, arguments, rest = re.fullmatch(r"(\w+)\(([^)]*)\)\s*(.*)", line).groups()
        arguments = [float(a) for a in arguments.split(",")]
        targets = rest.split()
        if gate.startswith("M"):
            mechanisms = [(f"{gate} !{targets[0]}", arguments[0])]
        else:
            arity = 2 if gate == "DEPOLARIZE2" else 1
            mechanisms = []
            for start in range(0, len(targets), arity):
                pair = targets[start:start + arity]
                for paulis, q in independent_cases(gate, arguments).items():
                    gates = [f"{p} {t}" for p, t in zip(paulis, pair) if p not in (None, "I")]
                    mechanisms.append(("\n".join(gates), q))
        for replacement, q in mechanisms:
            key = symptoms_with(index, replacement)
            if key:
                p = model.get(key, 0.0)
                model[key] = p * (1 - q) + q * (1 - p)
    return model


def is_noise(line):
    """A noise channel, or a measurement with a flip probability."""
    return "(" in line and not line.startswith(("DETECTOR", "OBSERVABLE", "SHIFT", "QUBIT"))


def model_errors(model_text):
    """{symptoms: probability} of a flattened model's text, parts joined, identical symptoms
    merged as independent events."""
    errors = {}
    for line in model_text.splitlines():
        if not line.startswith("error("):
            continue
        head, _, targets = line.partition(" ")
        q = float(head[len("error("):-1])
        symptoms = set()
        for target in targets.split():
            if target != "^":
                symptoms ^= {target}
        key = tuple(sorted(symptoms, key=lambda t: (t[0] == "L", int(t[1:]))))
        p = errors.get(key, 0.0)
        errors[key] = p * (1 - q) + q * (1 - p)
    return errors


def canonical(model):
    """A stim.DetectorErrorModel flattened, every error's parts joined, identical symptoms
    merged as independent events: (errors by symptoms, detectors, observables, coordinates)."""
    errors = {}
    for instruction in model.flattened():
        if instruction.type != "error":
            continue
        symptoms = set()
        for target in instruction.targets_copy():
            if not target.is_separator():
                symptoms ^= {str(target)}
        key = tuple(sorted(symptoms))
        p, q = instruction.args_copy()[0], errors.get(key, 0.0)
        errors[key] = p * (1 - q) + q * (1 - p)
    return errors, model.num_detectors, model.num_observables, model.get_detector_coordinates()


def assert_same_canonical(model, expected_model):
    """Two stim.DetectorErrorModel the same once canonical, probabilities within 1e-12."""
    errors, *counts = canonical(model)
    expected, *expected_counts = canonical(expected_model)
    assert counts == expected_counts
    assert errors.keys() == expected.keys()
    assert all(abs(errors[key] - expected[key]) < 1e-12 for key in errors)


def graphlike_parts_valid(model):
    """Whether every error's parts have at most two detectors each and XOR to its symptoms
    (which holds by construction of the text: the parts are what the text lists)."""
    for instruction in model.flattened():
        if instruction.type != "error":
            continue
        parts = [[]]
        for target in instruction.targets_copy():
            if target.is_separator():
                parts.append([])
            else:
                parts[-1].append(target)
        if any(sum(t.is_relative_detector_id() for t in part) > 2 for part in parts):
            return False
        if any(not part for part in parts):
            return False
    return True
