"""Gates change the quantum state as their matrices say, checked through measurements.

korvane's internals are not visible from Python, so a state is compared with a reference state
vector by measuring: every outcome korvane reports must be possible in the reference, which is
then projected on it. Measuring each qubit on every combination of axes reaches every stabilizer
of a small state, so a wrong state is caught by some combination.
"""

import itertools
import random

import numpy as np
import pytest

import korvane
from reference import (
    AXES,
    AXIS_X,
    AXIS_Y,
    AXIS_Z,
    CONTROLLED_GATES,
    PAULI,
    SINGLE_QUBIT_GATES,
    Mirror,
    StateVector,
    controlled_matrix,
    eigenstate,
    random_circuit,
)

# Gates that take |0> to the eigenstate of (axis, bit), the eigenvalue being (-1)**bit.
PREPARATIONS = {
    (AXIS_Z, 0): (),
    (AXIS_Z, 1): ("x",),
    (AXIS_X, 0): ("h",),
    (AXIS_X, 1): ("x", "h"),
    (AXIS_Y, 0): ("h", "s"),
    (AXIS_Y, 1): ("h", "sdag"),
}

REPEATS_PER_AXIS_CHOICE = 4


def kron_all(*vectors):
    result = np.array([1.0 + 0j])
    for vector in vectors:
        result = np.kron(result, vector)
    return result


def assert_behaves_like(build, expected_vector, qubit_amount, seed=0):
    """Measure fresh copies of the state `build` makes on every axis combination and order.

    Each outcome must be possible in `expected_vector` (qubit 0 most significant) given the
    outcomes before it.
    """
    rng = random.Random(seed)
    expected = StateVector.from_vector(expected_vector)
    for axes in itertools.product(AXES, repeat=qubit_amount):
        for _ in range(REPEATS_PER_AXIS_CHOICE):
            simulator = korvane.Korvane(qubit_amount)
            build(simulator)
            mirror = Mirror(simulator, qubit_amount)
            mirror.reference = expected.copy()
            order = list(range(qubit_amount))
            rng.shuffle(order)
            for qubit in order:
                mirror.measure(qubit, axes[qubit])


class TestReference:
    """The reference itself, against states worked out by hand."""

    def test_single_qubit_gates_map_eigenstates_as_expected(self):
        plus = np.array([1, 1]) / np.sqrt(2)
        plus_i = np.array([1, 1j]) / np.sqrt(2)
        cases = [
            ("h", [1, 0], plus),
            ("s", plus, plus_i),
            ("sdag", plus_i, plus),
            ("x", [1, 0], [0, 1]),
        ]
        for gate, before, after in cases:
            state = StateVector.from_vector(before)
            state.apply(gate, 0)
            assert state.equal_up_to_phase(StateVector.from_vector(after)), gate

    def test_controlled_matrices_known_forms(self):
        assert np.allclose(controlled_matrix(AXIS_Z, AXIS_Z), np.diag([1, 1, 1, -1]))
        swap = np.eye(4)[[0, 2, 1, 3]]
        # Z on t when c reads minus equals X on c when t reads 1.
        swapped_cx = swap @ controlled_matrix(AXIS_Z, AXIS_X) @ swap
        assert np.allclose(controlled_matrix(AXIS_X, AXIS_Z), swapped_cx)
        for control_axis, target_axis in CONTROLLED_GATES.values():
            matrix = controlled_matrix(control_axis, target_axis)
            assert np.allclose(matrix @ matrix.conj().T, np.eye(4))

    def test_eigenstates_and_certain_outcomes(self):
        for axis, bit in itertools.product(AXES, (0, 1)):
            vector = eigenstate(axis, bit)
            assert np.allclose(PAULI[axis] @ vector, (-1) ** bit * vector)
            state = StateVector.from_vector(vector)
            assert state.certain_outcome(0, axis) == bit
            for other in AXES:
                if other != axis:
                    assert abs(state.probability(0, other, 0) - 0.5) < 1e-9

    def test_preparations_reach_their_eigenstates(self):
        for (axis, bit), gates in PREPARATIONS.items():
            state = StateVector(1)
            for gate in gates:
                state.apply(gate, 0)
            assert state.certain_outcome(0, axis) == bit

    def test_bell_state_factors_and_projection(self):
        state = StateVector(3)
        state.apply("h", 0)
        state.apply("cx", 0, 2)
        bell = np.zeros(8)
        bell[0b000] = bell[0b101] = 1
        assert state.equal_up_to_phase(StateVector.from_vector(bell))
        assert state.smallest_factor(0) == {0, 2}
        assert state.smallest_factor(1) == {1}
        assert state.certain_outcome(0, AXIS_Z) is None
        state.project(0, AXIS_Z, 1)
        assert state.certain_outcome(2, AXIS_Z) == 1
        assert state.smallest_factor(0) == {0}
        with pytest.raises(ValueError):
            state.project(2, AXIS_Z, 0)

    def test_a_wrong_state_is_caught(self):
        # The checker must reject korvane when it is handed the wrong expectation.
        def build(simulator):
            simulator.h(0)
            simulator.cx(0, 1)

        odd_bell = np.array([0, 1, 1, 0]) / np.sqrt(2)
        with pytest.raises(AssertionError):
            assert_behaves_like(build, odd_bell, 2)


class TestKnownStates:
    def test_fresh_register_is_all_zero(self):
        assert_behaves_like(lambda simulator: None, kron_all([1, 0], [1, 0], [1, 0]), 3)

    @pytest.mark.parametrize("gate", sorted(SINGLE_QUBIT_GATES))
    def test_single_qubit_gate_on_every_eigenstate(self, gate):
        for (axis, bit), preparation in PREPARATIONS.items():

            def build(simulator):
                for step in preparation:
                    getattr(simulator, step)(1)
                getattr(simulator, gate)(1)

            expected = SINGLE_QUBIT_GATES[gate] @ eigenstate(axis, bit)
            assert_behaves_like(build, kron_all([1, 0], expected), 2)

    def test_bell_pair(self):
        def build(simulator):
            simulator.h(0)
            simulator.cx(0, 1)

        assert_behaves_like(build, np.array([1, 0, 0, 1]) / np.sqrt(2), 2)

    def test_ghz_of_four(self):
        def build(simulator):
            simulator.h(2)
            simulator.cx(2, 0)
            simulator.cx(0, 3)
            simulator.cx(3, 1)

        ghz = np.zeros(16)
        ghz[0] = ghz[15] = 1
        assert_behaves_like(build, ghz / np.sqrt(2), 4)

    def test_x_then_cx_gives_one_one(self):
        for _ in range(20):
            simulator = korvane.Korvane(2)
            simulator.x(0)
            simulator.cx(0, 1)
            assert simulator.measure_z(1) == korvane.MeasurementResult.MinusOne
            assert simulator.measure_z(0) == korvane.MeasurementResult.MinusOne

    @pytest.mark.parametrize("gate", sorted(CONTROLLED_GATES))
    def test_controlled_gate_truth_table(self, gate):
        """Control in an eigenstate of its basis: the target gets its Pauli exactly on -1."""
        control_axis, target_axis = CONTROLLED_GATES[gate]
        control, target = 2, 0
        for control_bit, (target_prep_axis, target_bit) in itertools.product(
            (0, 1), itertools.product(AXES, (0, 1))
        ):

            def build(simulator):
                for step in PREPARATIONS[(control_axis, control_bit)]:
                    getattr(simulator, step)(control)
                for step in PREPARATIONS[(target_prep_axis, target_bit)]:
                    getattr(simulator, step)(target)
                getattr(simulator, gate)(control, target)

            target_state = eigenstate(target_prep_axis, target_bit)
            if control_bit:
                target_state = PAULI[target_axis] @ target_state
            expected = kron_all(target_state, [1, 0], eigenstate(control_axis, control_bit))
            assert_behaves_like(build, expected, 3, seed=control_bit)

    @pytest.mark.parametrize("gate", sorted(CONTROLLED_GATES))
    def test_controlled_gate_on_superposed_control(self, gate):
        """A control off its basis gets entangled with the target as the matrix says."""
        control_axis, target_axis = CONTROLLED_GATES[gate]
        for preparation_axis in AXES:
            if preparation_axis == control_axis:
                continue

            def build(simulator):
                for step in PREPARATIONS[(preparation_axis, 0)]:
                    getattr(simulator, step)(0)
                getattr(simulator, gate)(0, 1)

            before = kron_all(eigenstate(preparation_axis, 0), [1, 0])
            assert_behaves_like(build, controlled_matrix(control_axis, target_axis) @ before, 2)


class TestRandomCircuits:
    @pytest.mark.parametrize("seed", range(150))
    def test_every_outcome_is_possible(self, seed):
        rng = random.Random(seed)
        qubit_amount = rng.randint(2, 6)
        simulator = korvane.Korvane(qubit_amount)
        mirror = Mirror(simulator, qubit_amount)
        mirror.run(random_circuit(rng, qubit_amount, rng.randint(5, 40), measure_chance=0.15))
        order = list(range(qubit_amount))
        rng.shuffle(order)
        for qubit in order:
            mirror.measure(qubit, rng.choice(AXES))
        # Every qubit is now in a product eigenstate: measuring again must repeat it.
        for qubit in order:
            for axis in AXES:
                certain = mirror.reference.certain_outcome(qubit, axis)
                if certain is not None:
                    assert mirror.measure(qubit, axis) == certain

    @pytest.mark.parametrize("seed", range(40))
    def test_gates_on_deep_wide_circuits(self, seed):
        rng = random.Random(1000 + seed)
        qubit_amount = 8
        simulator = korvane.Korvane(qubit_amount)
        mirror = Mirror(simulator, qubit_amount)
        mirror.run(random_circuit(rng, qubit_amount, 120, measure_chance=0.05))
        for qubit in rng.sample(range(qubit_amount), qubit_amount):
            mirror.measure(qubit, rng.choice(AXES))
