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
"""

import random

import numpy as np
import pytest
import stim

from korvane import Circuit, Korvane
from reference import random_circuit_text

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
