"""Random noisy circuits with deterministic detectors, and the canonical form of detector error
models, for checking korvane's error analysis against the tableau simulator."""

import random

SELF_INVERSE = ["I", "X", "Y", "Z", "H", "H_XY", "H_YZ"]
INVERSE_PAIRS = [("S", "S_DAG"), ("SQRT_X", "SQRT_X_DAG"), ("SQRT_Y", "SQRT_Y_DAG"),
                 ("C_XYZ", "C_ZYX")]
INVERSE = {name: name for name in SELF_INVERSE}
INVERSE |= {a: b for a, b in INVERSE_PAIRS} | {b: a for a, b in INVERSE_PAIRS}
TWO_QUBIT = ["CX", "CY", "CZ", "XCX", "XCY", "XCZ", "YCX", "YCY", "YCZ", "SWAP"]
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
            gates.append((rng.choice(list(INVERSE)), (a,)))
        else:
            gates.append((rng.choice(TWO_QUBIT), (a, b)))
    return gates


def segment(rng, n, coordinates):
    """U, noise, U^-1, each qubit measured on a random axis where it is certain, a detector on
    each result and on its parity with the qubit's result one segment before, results fed
    forward into X, Y or Z on another qubit (a no-op without noise)."""
    lines = []
    unitary = random_unitary(rng, n, 8)
    inverse = [(INVERSE.get(name, name), qubits) for name, qubits in reversed(unitary)]
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


def random_noisy_circuit(seed, n=4):
    """Three segments after a first noiseless measurement of every qubit; the middle one
    repeated."""
    rng = random.Random(seed)
    lines = [f"M {' '.join(map(str, range(n)))}"]
    lines += segment(rng, n, 0)
    lines += ["REPEAT 3 {", *segment(rng, n, 1), "SHIFT_COORDS(0, 2)", "}"]
    lines += segment(rng, n, 2)
    return "\n".join(lines) + "\n"


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
