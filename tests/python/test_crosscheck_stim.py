"""korvane beside stim, the tableau simulator (a test dependency, run and never read): seeded
random circuits in the instruction subset both read go through both.

- Exact: a run's record, replayed in stim's TableauSimulator with every random outcome forced to
  korvane's, must agree on every outcome stim finds certain, and leave the same state: the same
  canonical stabilizers, the same Pauli-product expectations, and Pauli-product measurements that
  agree where certain and keep the states equal.
- Counts: num_qubits, num_measurements, num_detectors, num_observables.
- Determinism: a candidate detector or observable is refused by korvane exactly when stim's
  detector error model refuses it.
- Statistics: records and detection events sampled from noisy circuits, by frames and shot by
  shot, against stim's compiled samplers: every column and random parities of columns.
- The random circuits use every instruction of the format; the circuits of stim's own generator
  read, print as the same circuit and sample detection events alike.
- Detector error models of noisy circuits with loops: the same errors once canonical, the same
  refusals, and decompositions valid wherever they succeed.
"""

import random
import re

import numpy as np
import pytest
import stim

from korvane import Circuit, Korvane
from qec_circuits import assert_same_canonical, graphlike_parts_valid, random_noisy_circuit
from reference import CIRCUIT_NOISE, random_circuit_text

BASES = {"M": "z", "MR": "z", "MX": "x", "MRX": "x", "MY": "y", "MRY": "y"}


def measured_products(instruction, qubit_amount):
    """The Pauli products an MPP, MXX, MYY or MZZ measures, signed by their inverted targets."""
    pairs = instruction.name != "MPP"
    groups, joined = [], False
    for target in instruction.targets_copy():
        if target.is_combiner:
            joined = True
            continue
        if not joined and (not pairs or not groups or len(groups[-1]) == 2):
            groups.append([])
        letter = instruction.name[1] if pairs else target.pauli_type
        groups[-1].append((target.value, letter, target.is_inverted_result_target))
        joined = False
    products = []
    for group in groups:
        product = stim.PauliString(qubit_amount)
        for qubit, letter, negated in group:
            factor = stim.PauliString(qubit_amount)
            factor[qubit] = letter
            product *= -factor if negated else factor
        products.append(product)
    return products


def replayed(text, record, qubit_amount):
    """stim's simulator after the circuit, each random outcome forced to korvane's bit, and the
    number of certain outcomes checked on the way."""
    sim = stim.TableauSimulator()
    sim.set_num_qubits(qubit_amount)
    bits = iter(record)
    certain = 0
    for instruction in stim.Circuit(text).flattened():
        if instruction.name == "MPAD":
            for target in instruction.targets_copy():
                assert bool(next(bits)) == bool(target.value), text
                certain += 1
            sim.do(instruction)
            continue
        if instruction.name in ("MPP", "MXX", "MYY", "MZZ"):
            for product in measured_products(instruction, qubit_amount):
                bit = bool(next(bits))
                expectation = sim.peek_observable_expectation(product)
                if expectation:
                    assert bit == (expectation == -1), f"{instruction} gave {bit}\n{text}"
                    certain += 1
                else:
                    sim.postselect_observable(product, desired_value=bit)
                # Now certain: measured again into stim's record, for feedback to read.
                sim.do(stim.CircuitInstruction("MPP", stim.target_combined_paulis(product)))
            continue
        if instruction.name not in BASES:
            sim.do(instruction)
            continue
        basis = BASES[instruction.name]
        for target in instruction.targets_copy():
            bit = bool(next(bits)) ^ target.is_inverted_result_target
            expectation = getattr(sim, "peek_" + basis)(target.value)
            if expectation:
                assert bit == (expectation == -1), f"{instruction} gave {bit}\n{text}"
                certain += 1
            else:
                getattr(sim, "postselect_" + basis)(target.value, desired_value=bit)
            sim.do(stim.CircuitInstruction(instruction.name, [target]))
    assert next(bits, None) is None
    return sim, certain


def same_stabilizers(ours, theirs):
    return ours.stabilizers() == [str(row) for row in theirs.canonical_stabilizers()]


@pytest.mark.parametrize("seed", range(40))
def test_runs_agree_on_certain_outcomes_and_final_states(seed):
    rng = random.Random(seed)
    qubit_amount = rng.choice((2, 3, 5, 8, 16, 40))
    # A reset's collapse is recorded nowhere, so it could not be replayed: MR and kin stand in.
    text = random_circuit_text(rng, qubit_amount, rng.randint(20, 80), resets=False)
    circuit, theirs = Circuit(text), stim.Circuit(text)
    assert (circuit.num_qubits, circuit.num_measurements) == (theirs.num_qubits,
                                                              theirs.num_measurements)
    ours = Korvane(circuit.num_qubits)
    record = ours.run(circuit)
    sim, _ = replayed(text, record, circuit.num_qubits)
    assert same_stabilizers(ours, sim), text
    for index in range(12):
        if index % 2:  # a product of stabilizers, signed at random: certain
            pauli = stim.PauliString(circuit.num_qubits)
            rows = sim.canonical_stabilizers()
            for row in rng.sample(rows, rng.randint(1, min(len(rows), 3))):
                pauli *= row
            pauli = str(pauli if rng.random() < 0.5 else -pauli)
        else:
            weight = rng.randint(1, min(circuit.num_qubits, 6))
            factors = set(rng.sample(range(circuit.num_qubits), weight))
            pauli = rng.choice("+-") + "".join(
                rng.choice("XYZ") if q in factors else "_" for q in range(circuit.num_qubits))
        expectation = sim.peek_observable_expectation(stim.PauliString(pauli))
        assert ours.peek_pauli(pauli) == expectation, (pauli, text)
        bit = bool(int(ours.measure_pauli(pauli)))
        if expectation:
            assert bit == (expectation == -1)
        else:
            sim.postselect_observable(stim.PauliString(pauli), desired_value=bit)
        assert same_stabilizers(ours, sim), (pauli, text)


def test_replays_check_many_certain_outcomes():
    # The runs above are not vacuous: stim finds a good share of their outcomes certain.
    certain = total = 0
    for seed in range(40):
        rng = random.Random(seed)
        text = random_circuit_text(rng, rng.choice((2, 3, 5)), 60, resets=False)
        circuit = Circuit(text)
        certain += replayed(text, Korvane(circuit.num_qubits).run(circuit), circuit.num_qubits)[1]
        total += circuit.num_measurements
    assert certain > total / 4


def candidate_annotations(rng, measurements, amount):
    """Detectors and observables over random sets of the last few results."""
    reach = min(measurements, 8)
    for _ in range(amount if reach else 0):
        records = " ".join(f"rec[-{k}]" for k in rng.sample(range(1, reach + 1),
                                                             rng.randint(1, min(reach, 3))))
        if rng.random() < 0.3:
            yield f"OBSERVABLE_INCLUDE({rng.randrange(3)}) {records}"
        else:
            yield f"DETECTOR({rng.randrange(5)}, 0) {records}"


def deterministic_by_stim(text):
    try:
        stim.Circuit(text).without_noise().detector_error_model()
    except ValueError as refusal:
        assert "non-deterministic" in str(refusal), refusal
        return False
    return True


def test_the_same_detectors_and_observables_are_deterministic():
    verdicts = []
    for seed in range(60):
        rng = random.Random(1000 + seed)
        qubit_amount = rng.choice((2, 3))
        body = random_circuit_text(rng, qubit_amount, 12, noise=seed % 2 == 1)
        q = rng.randrange(qubit_amount)
        basis = rng.choice(("", "X", "Y"))
        body += f"M{basis} {q}\nM{basis} {q}\n"  # a certain parity among the candidates
        measurements = stim.Circuit(body).num_measurements
        for annotation in ["DETECTOR rec[-1] rec[-2]",
                           *candidate_annotations(rng, measurements, 6)]:
            text = body + annotation + "\n"
            circuit = Circuit(text)
            assert (circuit.num_detectors, circuit.num_observables) == (
                stim.Circuit(text).num_detectors, stim.Circuit(text).num_observables)
            try:
                circuit.sample_detectors(1, seed=0)
                ours = True
            except ValueError as refusal:
                assert str(refusal).startswith(f"line {text.count(chr(10))}:"), refusal
                ours = False
            assert ours == deterministic_by_stim(text), text
            verdicts.append(ours)
    # Both kinds occur often.
    assert 0.25 < np.mean(verdicts) < 0.75, np.mean(verdicts)


def assert_same_distribution(ours, theirs, rng, deterministic=False):
    """Columns and random parities of columns have the same means within five standard errors;
    a column stim never varies is the same constant in korvane's sample."""
    shots = len(ours)
    assert ours.shape == theirs.shape and ours.dtype == theirs.dtype == np.bool_
    if ours.shape[1] == 0:
        return
    selections = [np.eye(ours.shape[1], dtype=bool)[column] for column in range(ours.shape[1])]
    selections += [rng.random(ours.shape[1]) < 0.3 for _ in range(20)]
    for chosen in selections:
        a = np.logical_xor.reduce(ours[:, chosen], axis=1).mean()
        b = np.logical_xor.reduce(theirs[:, chosen], axis=1).mean()
        if b in (0.0, 1.0) and deterministic:
            assert a == b
        assert abs(a - b) <= 5 * np.sqrt(0.5 / shots), (chosen, a, b)


@pytest.mark.parametrize("method", ["frames", "shots"])
@pytest.mark.parametrize("seed", range(8))
def test_samples_have_the_same_distribution(seed, method):
    rng = random.Random(2000 + seed)
    noisy = seed % 4 != 0
    qubit_amount = rng.choice((3, 5, 8))
    text = random_circuit_text(rng, qubit_amount, 40, noise=noisy)
    measurements = stim.Circuit(text).num_measurements
    annotations = [a for a in candidate_annotations(rng, measurements, 30)
                   if deterministic_by_stim(text + a)]
    text += "".join(annotation + "\n" for annotation in annotations)
    for qubit in rng.sample(range(qubit_amount), 2):  # a check that noise between two reads trips
        read = f"M{rng.choice(('', 'X', 'Y'))} {qubit}\n"
        text += read + (f"DEPOLARIZE1(0.2) {qubit}\n" if noisy else "") + read
        text += "DETECTOR rec[-1] rec[-2]\n"
    shots = 20_000 if method == "frames" else 4000
    numpy_rng = np.random.default_rng(seed)
    records = Circuit(text).sample(shots, seed=seed, method=method)
    assert_same_distribution(records, stim.Circuit(text).compile_sampler(seed=seed).sample(shots),
                             numpy_rng, deterministic=not noisy)
    detectors, observables = Circuit(text).sample_detectors(shots, seed=seed, method=method)
    their_detectors, their_observables = stim.Circuit(text).compile_detector_sampler(
        seed=seed).sample(shots, separate_observables=True)
    assert_same_distribution(detectors, their_detectors, numpy_rng, deterministic=not noisy)
    assert_same_distribution(observables, their_observables, numpy_rng, deterministic=not noisy)


@pytest.mark.parametrize("task", ["repetition_code:memory", "surface_code:rotated_memory_x",
                                  "surface_code:unrotated_memory_z", "color_code:memory_xyz"])
def test_circuits_of_stims_generator_read_and_sample_the_same(task):
    theirs = stim.Circuit.generated(task, distance=3, rounds=3, after_clifford_depolarization=0.02,
                                    before_round_data_depolarization=0.01,
                                    before_measure_flip_probability=0.03,
                                    after_reset_flip_probability=0.01)
    ours = Circuit(str(theirs))
    assert (ours.num_qubits, ours.num_measurements, ours.num_detectors, ours.num_observables) == (
        theirs.num_qubits, theirs.num_measurements, theirs.num_detectors, theirs.num_observables)
    assert stim.Circuit(str(ours)) == theirs  # the canonical text is the same circuit
    their_detectors, their_observables = theirs.compile_detector_sampler(seed=1).sample(
        10_000, separate_observables=True)
    for method in ("frames", "shots"):
        detectors, observables = ours.sample_detectors(
            10_000 if method == "frames" else 2000, seed=1, method=method)
        shots = len(detectors)
        rng = np.random.default_rng(1)
        assert_same_distribution(detectors, their_detectors[:shots], rng)
        assert_same_distribution(observables, their_observables[:shots], rng)
def constant_parities(rows):
    """A basis of the parities of columns that every row gives alike (Gaussian elimination over
    GF(2) of the rows' differences from the first)."""
    matrix = rows ^ rows[:1]
    pivots = []
    for column in range(matrix.shape[1]):
        below = np.nonzero(matrix[len(pivots):, column])[0]
        if len(below) == 0:
            continue
        row = len(pivots) + below[0]
        matrix[[len(pivots), row]] = matrix[[row, len(pivots)]]
        others = matrix[:, column].copy()
        others[len(pivots)] = False
        matrix[others] ^= matrix[len(pivots)]
        pivots.append(column)
    basis = []
    for free in sorted(set(range(matrix.shape[1])) - set(pivots)):
        parity = np.zeros(matrix.shape[1], dtype=bool)
        parity[free] = True
        parity[pivots] = matrix[:len(pivots), free]
        basis.append(parity)
    return basis


def annotations_over(rng, rows, amount):
    """Detectors and observables over random deterministic parities of the columns of `rows`,
    noiseless shots of the last results."""
    basis = constant_parities(rows)
    for _ in range(amount if basis else 0):
        parity = np.logical_xor.reduce([rng.choice(basis)] + [v for v in basis if rng.random() < 0.3])
        if parity.any():
            records = " ".join(f"rec[-{len(parity) - k}]" for k in np.nonzero(parity)[0])
            if rng.random() < 0.2:
                yield f"OBSERVABLE_INCLUDE({rng.randrange(3)}) {records}\n"
            else:
                yield f"DETECTOR({rng.randrange(5)}, 0) {records}\n"


MODELLED_CHANNELS = tuple(name for name in CIRCUIT_NOISE
                          if "HERALDED" not in name and name != "PAULI_CHANNEL_2")


def noisy_circuit_with_detectors(rng):
    """A random noisy circuit: a head, a REPEAT block whose body ends in detectors and observables
    over its own results, and a tail ending in more over the last results. Their parities are
    those that noiseless shots never vary. Most circuits have their PAULI_CHANNEL_1 cases made of
    independent X and Z flips, which error models can write; the others must be refused alike.
    Neither heralded noise (korvane refuses its model) nor PAULI_CHANNEL_2 (stim only approximates
    it)."""
    qubit_amount = rng.choice((2, 3, 4))
    head, body, tail = (random_circuit_text(rng, qubit_amount, rng.randint(8, 16), noise=True,
                                            channels=MODELLED_CHANNELS)
                        for _ in range(3))
    if rng.random() < 0.8:
        def independent(match):
            x, z = float(match[1]), float(match[2])
            return f"PAULI_CHANNEL_1({x * (1 - z)}, {x * z}, {z * (1 - x)})"
        head, body, tail = (re.sub(r"PAULI_CHANNEL_1\(([\d.]+), 0, ([\d.]+)\)", independent, part)
                            for part in (head, body, tail))
    repeats = rng.randint(2, 4)
    shots = 256
    noiseless = stim.Circuit(f"{head}REPEAT {repeats} {{\n{body}}}\n{tail}").without_noise()
    records = noiseless.compile_sampler(seed=rng.getrandbits(32)).sample(shots)
    first, width = stim.Circuit(head).num_measurements, stim.Circuit(body).num_measurements
    # Each pass's results, as shots of their own: a parity in the body holds on every pass.
    passes = np.concatenate([records[:, first + k * width:first + (k + 1) * width] ^
                             records[:1, first + k * width:first + (k + 1) * width]
                             for k in range(repeats)])
    body += "".join(annotations_over(rng, passes, 6)) + "SHIFT_COORDS(0, 1)\n"
    tail += "".join(annotations_over(rng, records[:, -12:], 6))
    text = f"{head}REPEAT {repeats} {{\n{body}}}\n{tail}"
    assert deterministic_by_stim(text), text
    return text


def stim_model(text, **options):
    """stim's model, or the refusal's message."""
    try:
        return stim.Circuit(text).detector_error_model(**options)
    except ValueError as refusal:
        return str(refusal)


# Circuits of segments (U, noise, U^-1, every qubit read where certain) have errors with many
# symptoms; random circuits add resets, feedback, inverted results, nested loops and refusals.
NOISY_CIRCUITS = {"segments": (random_noisy_circuit, 40),
                  "random": (lambda seed: noisy_circuit_with_detectors(random.Random(seed)), 30)}


@pytest.mark.parametrize("family, seed", [(family, seed) for family, (_, amount) in
                                          NOISY_CIRCUITS.items() for seed in range(amount)])
def test_error_models_agree(family, seed):
    """korvane's detector error model and stim's, canonical (flattened, merged, sorted) within
    1e-12, folded loops and flattened ones; both refuse the same channels. A decomposed model
    is valid (parts of at most two detectors) and joins back to the same model."""
    text = NOISY_CIRCUITS[family][0](seed)
    circuit = Circuit(text)
    theirs = stim_model(text)
    if isinstance(theirs, str):
        assert "PAULI_CHANNEL_1" in theirs, theirs
        with pytest.raises(ValueError, match="cannot be written"):
            circuit.detector_error_model()
        return
    for flatten_loops in (False, True):
        ours = circuit.detector_error_model(flatten_loops=flatten_loops)
        assert "repeat" not in str(ours) or not flatten_loops
        read = stim.DetectorErrorModel(str(ours))
        assert ours.num_errors == read.num_errors
        assert_same_canonical(read, theirs)
    try:
        ours = stim.DetectorErrorModel(str(circuit.detector_error_model(decompose_errors=True)))
    except ValueError as refusal:
        assert "detectors" in str(refusal), refusal
        return
    assert graphlike_parts_valid(ours)
    assert_same_canonical(ours, theirs)


def test_error_model_comparisons_are_not_vacuous():
    """The circuits above have errors with many symptoms, detectors inside loops and after them,
    and decompositions that succeed; korvane decomposes wherever stim does."""
    errors, detectors, decomposed = [], [], 0
    for family, (make, amount) in NOISY_CIRCUITS.items():
        for seed in range(amount):
            text = make(seed)
            model = stim_model(text)
            if isinstance(model, str):
                continue
            errors += [instruction for instruction in model.flattened() if instruction.type == "error"]
            detectors.append(model.num_detectors)
            if not isinstance(stim_model(text, decompose_errors=True), str):
                Circuit(text).detector_error_model(decompose_errors=True)
                decomposed += 1
    many = sum(sum(t.is_relative_detector_id() for t in e.targets_copy()) > 2 for e in errors)
    assert len(errors) > 1000 and many > 500 and sum(detectors) > 1000 and decomposed > 10, (
        len(errors), many, sum(detectors), decomposed)
