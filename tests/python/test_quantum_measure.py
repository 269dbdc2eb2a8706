"""Measurements: outcome statistics, collapse, and the teleportation byproduct rule."""

import importlib.util
import itertools
import math
import pathlib
import random

import numpy as np
import pytest

import korvane
from reference import AXES, AXIS_X, AXIS_Y, AXIS_Z, Mirror, StateVector, random_circuit

PlusOne = korvane.MeasurementResult.PlusOne
MinusOne = korvane.MeasurementResult.MinusOne


def load_demo():
    path = pathlib.Path(__file__).resolve().parents[2] / "examples" / "demo.py"
    spec = importlib.util.spec_from_file_location("korvane_demo", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def measure(simulator, qubit, axis):
    return getattr(simulator, "measure_" + "xyz"[axis])(qubit)


def assert_binomial(count, trials, probability, sigmas=5.0):
    mean = trials * probability
    spread = sigmas * math.sqrt(trials * probability * (1 - probability)) + 1
    assert abs(count - mean) <= spread, f"{count} of {trials}, expected about {mean:.1f}"


def sequence_distribution(state: StateVector, qubits, axes):
    """Reference probability of each outcome tuple when measuring `qubits` on `axes` in order."""
    distribution = {}
    for bits in itertools.product((0, 1), repeat=len(qubits)):
        current, weight = state.copy(), 1.0
        for qubit, axis, bit in zip(qubits, axes, bits):
            step = current.probability(qubit, axis, bit)
            weight *= step
            if weight < 1e-12:
                break
            current.project(qubit, axis, bit)
        distribution[bits] = weight if weight >= 1e-12 else 0.0
    return distribution


class TestFairness:
    TRIALS = 2000

    @pytest.mark.parametrize(
        "preparation, axis",
        [
            ((), AXIS_X),
            ((), AXIS_Y),
            (("h",), AXIS_Z),
            (("h",), AXIS_Y),
            (("h", "s"), AXIS_X),
            (("h", "s"), AXIS_Z),
        ],
    )
    def test_random_single_qubit_outcome_is_fair(self, preparation, axis):
        minus_count = 0
        for _ in range(self.TRIALS):
            simulator = korvane.Korvane(1)
            for gate in preparation:
                getattr(simulator, gate)(0)
            minus_count += measure(simulator, 0, axis) == MinusOne
        assert_binomial(minus_count, self.TRIALS, 0.5)

    @pytest.mark.parametrize("axis", AXES)
    def test_entangled_outcome_is_fair(self, axis):
        # Each axis takes a different graph rule on the measured vertex of a Bell pair.
        minus_count = 0
        for _ in range(self.TRIALS):
            simulator = korvane.Korvane(2)
            simulator.h(0)
            simulator.h(1)
            simulator.cz(0, 1)
            minus_count += measure(simulator, 0, axis) == MinusOne
        assert_binomial(minus_count, self.TRIALS, 0.5)

    @pytest.mark.parametrize("seed", range(6))
    def test_joint_outcomes_follow_reference_probabilities(self, seed):
        rng = random.Random(seed)
        qubit_amount = 3
        circuit = random_circuit(rng, qubit_amount, 12)
        order = rng.sample(range(qubit_amount), qubit_amount)
        axes = [rng.choice(AXES) for _ in order]
        reference = StateVector(qubit_amount)
        for operation in circuit:
            reference.apply(*operation)
        expected = sequence_distribution(reference, order, axes)

        shots = 600
        counts = dict.fromkeys(expected, 0)
        for _ in range(shots):
            simulator = korvane.Korvane(qubit_amount)
            for gate, *qubits in circuit:
                getattr(simulator, gate)(*qubits)
            counts[tuple(int(measure(simulator, q, a)) for q, a in zip(order, axes))] += 1
        for bits, probability in expected.items():
            if probability == 0:
                assert counts[bits] == 0, f"impossible outcome {bits} occurred"
            else:
                assert_binomial(counts[bits], shots, probability)


class TestCollapse:
    @pytest.mark.parametrize("seed", range(30))
    def test_repeated_measurement_is_stable(self, seed):
        rng = random.Random(seed)
        qubit_amount = rng.randint(2, 5)
        simulator = korvane.Korvane(qubit_amount)
        mirror = Mirror(simulator, qubit_amount)
        mirror.run(random_circuit(rng, qubit_amount, 25))
        for _ in range(10):
            qubit, axis = rng.randrange(qubit_amount), rng.choice(AXES)
            first = mirror.measure(qubit, axis)
            for _ in range(4):
                assert measure(simulator, qubit, axis) == first
            # A different axis is random afterwards, unless the others changed nothing.
            mirror.measure(qubit, (axis + rng.randint(1, 2)) % 3)

    def test_measured_qubit_disentangles_from_the_rest(self):
        rng = random.Random(7)
        for _ in range(40):
            qubit_amount = 5
            simulator = korvane.Korvane(qubit_amount)
            mirror = Mirror(simulator, qubit_amount)
            mirror.run(random_circuit(rng, qubit_amount, 30))
            qubit, axis = rng.randrange(qubit_amount), rng.choice(AXES)
            mirror.measure(qubit, axis)
            assert mirror.reference.smallest_factor(qubit) == {qubit}
            assert simulator.get_entangled_group(qubit) == {qubit}

    def test_out_of_range_measurement_leaves_state(self, panic):
        rng = random.Random(3)
        simulator = korvane.Korvane(3)
        mirror = Mirror(simulator, 3)
        mirror.run(random_circuit(rng, 3, 15))
        for axis in AXES:
            with pytest.raises(panic, match="the len is 3 but the index is 3"):
                measure(simulator, 3, axis)
        for qubit in range(3):
            mirror.measure(qubit, rng.choice(AXES))


class TestEdgeCases:
    def test_fresh_qubit_reads_plus_one_on_z(self):
        for _ in range(200):
            assert korvane.Korvane(2).measure_z(1) == PlusOne

    def test_x_then_z_measurement_reads_minus_one(self):
        for _ in range(200):
            simulator = korvane.Korvane(1)
            simulator.x(0)
            assert simulator.measure_z(0) == MinusOne
            assert simulator.measure_z(0) == MinusOne

    def test_hadamard_then_x_measurement_reads_plus_one(self):
        for _ in range(200):
            simulator = korvane.Korvane(1)
            simulator.h(0)
            assert simulator.measure_x(0) == PlusOne

    def test_x_measurement_of_fresh_qubit_then_repeats(self):
        seen = set()
        for _ in range(200):
            simulator = korvane.Korvane(1)
            first = int(simulator.measure_x(0))
            seen.add(first)
            assert all(simulator.measure_x(0) == first for _ in range(3))
        assert seen == {0, 1}

    def test_star_centre_z_measurement_fixes_the_leaves(self):
        seen = set()
        for _ in range(200):
            simulator = korvane.Korvane(3)
            for qubit in range(3):
                simulator.h(qubit)
            simulator.cz(0, 1)
            simulator.cz(0, 2)
            centre = int(simulator.measure_z(0))
            seen.add(centre)
            assert all(simulator.get_entangled_group(q) == {q} for q in range(3))
            assert simulator.measure_x(1) == centre
            assert simulator.measure_x(2) == centre
        assert seen == {0, 1}

    @pytest.mark.parametrize("axis", AXES)
    def test_star_centre_on_any_axis(self, axis):
        for _ in range(60):
            simulator = korvane.Korvane(4)
            mirror = Mirror(simulator, 4)
            for qubit in range(4):
                mirror.apply("h", qubit)
            for leaf in (1, 2, 3):
                mirror.apply("cz", 0, leaf)
            mirror.measure(0, axis)
            assert simulator.get_entangled_group(0) == {0}
            for leaf in (3, 1, 2):
                mirror.measure(leaf, random.choice(AXES))

    def test_pair_x_measurement_fixes_partner_in_z(self):
        seen = set()
        for _ in range(200):
            simulator = korvane.Korvane(2)
            simulator.h(0)
            simulator.h(1)
            simulator.cz(0, 1)
            result = int(simulator.measure_x(0))
            seen.add(result)
            assert simulator.get_entangled_group(0) == {0}
            assert simulator.get_entangled_group(1) == {1}
            # CZ|+>|+> projected on X=(-1)**s of qubit 0 leaves qubit 1 in |s>.
            assert simulator.measure_z(1) == result
            assert simulator.measure_x(0) == result
        assert seen == {0, 1}


class TestDemoRules:
    """The demo's byproduct rules, run on small registers against the reference."""

    class MirroredSimulator:
        """Looks like a korvane register to the demo; keeps the reference in step."""

        def __init__(self, qubit_amount):
            self.mirror = Mirror(korvane.Korvane(qubit_amount), qubit_amount)

        def __getattr__(self, name):
            if name.startswith("measure_"):
                axis = "xyz".index(name[-1])
                return lambda qubit: self.mirror.measure(qubit, axis)
            return lambda *qubits: self.mirror.apply(name, *qubits)

    @pytest.mark.parametrize("length", range(2, 8))
    def test_output_equals_input(self, length):
        demo = load_demo()
        rng = random.Random(length)
        for _ in range(6):
            gates = ("h", "s", "x", "z", "sdag")
            preparation = [rng.choice(gates) for _ in range(rng.randint(0, 6))]
            expected = StateVector(1)
            for gate in preparation:
                expected.apply(gate, 0)
            simulator = self.MirroredSimulator(length)
            output, _ = demo.teleport(simulator, length, preparation)
            assert output == length - 1
            arrived = simulator.mirror.reference.single_qubit_state(output)
            assert abs(abs(np.vdot(arrived, expected.vector())) - 1) < 1e-7

    def test_wrong_frame_would_be_caught(self):
        # Skipping the correction leaves Z^x X^z on |+i>: only the frames 00 and 11 (Y) keep it.
        demo = load_demo()
        caught = 0
        for _ in range(30):
            simulator = self.MirroredSimulator(4)
            demo.build_wire(simulator, 4, ("h", "s"))
            frame = demo.measure_wire(simulator, 4)
            output = demo.correct_output(simulator, 4, (0, 0))
            arrived = simulator.mirror.reference.single_qubit_state(output)
            matches = abs(abs(np.vdot(arrived, np.array([1, 1j]) / np.sqrt(2))) - 1) < 1e-7
            assert matches == (frame in ((0, 0), (1, 1)))
            caught += not matches
        assert caught > 0

    def test_long_wire_delivers_every_eigenstate(self):
        demo = load_demo()
        for (axis, bit), preparation in demo.EIGENSTATE_PREPARATIONS.items():
            for length in (300, 301):
                simulator = korvane.Korvane(length)
                output, _ = demo.teleport(simulator, length, preparation)
                assert demo.check_teleported(simulator, output, axis, bit)

    @pytest.mark.parametrize("size", range(2, 6))
    def test_ghz_from_cluster_is_exactly_ghz(self, size):
        demo = load_demo()
        for _ in range(8):
            simulator = self.MirroredSimulator(2 * size - 1)
            qubits = demo.ghz_from_cluster(simulator, size)
            assert qubits == list(range(0, 2 * size - 1, 2))
            made = simulator.mirror.reference
            # The same state written down directly: GHZ on the even qubits, and each odd qubit
            # in the X eigenstate it was found in.
            expected = StateVector(2 * size - 1)
            expected.apply("h", 0)
            for previous, qubit in zip(qubits, qubits[1:]):
                expected.apply("cx", previous, qubit)
            for odd in range(1, 2 * size - 1, 2):
                if made.certain_outcome(odd, AXIS_X) == 1:
                    expected.apply("x", odd)
                expected.apply("h", odd)
            assert made.equal_up_to_phase(expected)
            assert simulator.mirror.simulator.get_entangled_group(0) == set(qubits)
