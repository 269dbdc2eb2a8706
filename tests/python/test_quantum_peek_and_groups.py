"""Entangled groups and trial measurements, against the reference state vector."""

import random

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import korvane
from reference import (
    AXES,
    AXIS_X,
    AXIS_Y,
    AXIS_Z,
    CONTROLLED_GATES,
    SINGLE_QUBIT_GATES,
    Mirror,
    find_measurement_order,
)

PlusOne = korvane.MeasurementResult.PlusOne
MinusOne = korvane.MeasurementResult.MinusOne

BOUNDED = settings(
    max_examples=60, deadline=None, database=None, suppress_health_check=[HealthCheck.too_slow]
)


@st.composite
def circuits(draw, max_qubits=6, max_length=30):
    """(qubit amount, operations) with gates of every kind and some measurements."""
    qubit_amount = draw(st.integers(2, max_qubits))
    qubit = st.integers(0, qubit_amount - 1)
    operations = []
    for _ in range(draw(st.integers(0, max_length))):
        kind = draw(st.sampled_from(("single", "controlled", "controlled", "measure")))
        if kind == "single":
            operations.append((draw(st.sampled_from(sorted(SINGLE_QUBIT_GATES))), draw(qubit)))
        elif kind == "controlled":
            control = draw(qubit)
            target = draw(st.integers(0, qubit_amount - 2))
            target += target >= control
            operations.append((draw(st.sampled_from(sorted(CONTROLLED_GATES))), control, target))
        elif draw(st.integers(0, 3)) == 0:
            operations.append(("measure", draw(qubit), draw(st.sampled_from(AXES))))
    return qubit_amount, operations


def mirrored(qubit_amount, operations):
    mirror = Mirror(korvane.Korvane(qubit_amount), qubit_amount)
    mirror.run(operations)
    return mirror


def as_pairs(outcomes):
    """Peek results as qubit -> (bit, axis) with plain integers, checking their types."""
    pairs = {}
    for qubit, outcome in outcomes.items():
        assert isinstance(outcome, korvane.Outcome)
        assert isinstance(outcome.result, korvane.MeasurementResult)
        assert isinstance(outcome.axis, korvane.Axis)
        pairs[qubit] = (int(outcome.result), int(outcome.axis))
    return pairs


def assert_possible_sequence(mirror, qubits):
    outcomes = mirror.simulator.peek_measure_set(set(qubits))
    assert type(outcomes) is dict and set(outcomes) == set(qubits)
    pairs = as_pairs(outcomes)
    order = find_measurement_order(mirror.reference, pairs)
    assert order is not None, f"no measurement order explains {pairs}"
    return pairs


class TestEntangledGroup:
    @BOUNDED
    @given(circuits())
    def test_group_is_smallest_tensor_factor(self, circuit):
        mirror = mirrored(*circuit)
        for qubit in range(circuit[0]):
            group = mirror.simulator.get_entangled_group(qubit)
            assert type(group) is set
            assert group == mirror.reference.smallest_factor(qubit)

    @BOUNDED
    @given(circuits(), st.data())
    def test_measured_qubit_is_alone_and_others_stay_factors(self, circuit, data):
        mirror = mirrored(*circuit)
        qubit = data.draw(st.integers(0, circuit[0] - 1))
        mirror.measure(qubit, data.draw(st.sampled_from(AXES)))
        assert mirror.simulator.get_entangled_group(qubit) == {qubit}
        for other in range(circuit[0]):
            group = mirror.simulator.get_entangled_group(other)
            assert group == mirror.reference.smallest_factor(other)

    def test_single_qubit_gates_keep_groups(self):
        rng = random.Random(11)
        for _ in range(30):
            mirror = mirrored(5, [])
            entangling = [("h", 0), ("cx", 0, 1), ("h", 3), ("h", 4), ("cz", 3, 4), ("h", 2)]
            mirror.run(entangling + [("cy", 1, 2)])
            before = [mirror.simulator.get_entangled_group(q) for q in range(5)]
            for _ in range(20):
                mirror.apply(rng.choice(sorted(SINGLE_QUBIT_GATES)), rng.randrange(5))
            assert [mirror.simulator.get_entangled_group(q) for q in range(5)] == before
            assert before[0] == {0, 1, 2} and before[3] == {3, 4}

    def test_chain_and_untouched_qubit(self):
        simulator = korvane.Korvane(4)
        for qubit in range(3):
            simulator.h(qubit)
        simulator.cz(0, 1)
        simulator.cz(1, 2)
        assert all(simulator.get_entangled_group(q) == {0, 1, 2} for q in range(3))
        assert simulator.get_entangled_group(3) == {3}

    def test_out_of_range_group_query(self, panic):
        simulator = korvane.Korvane(2)
        with pytest.raises(panic, match="the len is 2 but the index is 2"):
            simulator.get_entangled_group(2)


class TestPeekMeasureSet:
    @BOUNDED
    @given(circuits(max_qubits=5), st.data())
    def test_results_form_a_possible_sequence_and_leave_register(self, circuit, data):
        qubit_amount, operations = circuit
        mirror = mirrored(qubit_amount, operations)
        groups = [mirror.simulator.get_entangled_group(q) for q in range(qubit_amount)]
        qubits = data.draw(st.sets(st.integers(0, qubit_amount - 1)))
        pairs = assert_possible_sequence(mirror, qubits)

        for qubit, (bit, axis) in pairs.items():
            if groups[qubit] == {qubit}:
                assert mirror.reference.certain_outcome(qubit, axis) == bit
        assert [mirror.simulator.get_entangled_group(q) for q in range(qubit_amount)] == groups
        # The register kept its state: a second peek is possible too, and real measurements
        # still agree with the unprojected reference.
        assert_possible_sequence(mirror, qubits)
        for qubit in data.draw(st.permutations(range(qubit_amount))):
            mirror.measure(qubit, data.draw(st.sampled_from(AXES)))

    def test_isolated_qubits_repeat_and_entangled_ones_vary(self):
        mirror = mirrored(4, [("h", 0), ("cx", 0, 1), ("h", 2), ("s", 2), ("x", 3)])
        seen_for_entangled = set()
        for _ in range(100):
            pairs = assert_possible_sequence(mirror, {0, 1, 2, 3})
            assert pairs[2] == (0, AXIS_Y) and pairs[3] == (1, AXIS_Z)
            seen_for_entangled.add((pairs[0], pairs[1]))
        assert len(seen_for_entangled) > 2

    def test_trial_axis_of_an_entangled_qubit_is_uniform(self):
        trials = 1200
        axis_counts = [0, 0, 0]
        for _ in range(trials):
            simulator = korvane.Korvane(3)
            for qubit in range(3):
                simulator.h(qubit)
            simulator.cz(0, 1)
            simulator.cz(1, 2)
            # Only qubit 1 is visited, so its axis is the random draw.
            axis_counts[int(simulator.peek_measure_set({1})[1].axis)] += 1
        for count in axis_counts:
            assert abs(count - trials / 3) <= 5 * (trials * 2 / 9) ** 0.5

    def test_empty_set(self):
        simulator = korvane.Korvane(3)
        simulator.h(0)
        simulator.cx(0, 1)
        assert simulator.peek_measure_set(set()) == {}
        assert simulator.peek_measure_set(frozenset()) == {}

    def test_fresh_register_gives_z_plus_one(self):
        simulator = korvane.Korvane(5)
        outcomes = simulator.peek_measure_set({0, 2, 4})
        assert sorted(outcomes) == [0, 2, 4]
        for outcome in outcomes.values():
            assert outcome.axis == korvane.Axis.Z and outcome.result == PlusOne
            assert str(outcome) == "(Z, +1)"

    def test_flipped_and_hadamard_qubits(self):
        simulator = korvane.Korvane(2)
        simulator.x(0)
        simulator.h(1)
        outcomes = simulator.peek_measure_set(frozenset({0, 1}))
        assert outcomes[0].axis == korvane.Axis.Z and outcomes[0].result == MinusOne
        assert outcomes[1].axis == korvane.Axis.X and outcomes[1].result == PlusOne

    def test_bell_pair(self):
        first_axes = set()
        for _ in range(150):
            mirror = mirrored(2, [("h", 0), ("h", 1), ("cz", 0, 1)])
            pairs = assert_possible_sequence(mirror, {0, 1})
            order = find_measurement_order(mirror.reference, pairs)
            # The later of the two is isolated by then and gets its certain axis.
            later = order[1]
            first_axes.add(pairs[order[0]][1])
            projected = mirror.reference.copy()
            projected.project(order[0], pairs[order[0]][1], pairs[order[0]][0])
            assert projected.certain_outcome(later, pairs[later][1]) == pairs[later][0]
            # The real register is still the entangled pair.
            assert mirror.simulator.get_entangled_group(0) == {0, 1}
            mirror.measure(0, random.choice(AXES))
            mirror.measure(1, random.choice(AXES))
        assert first_axes == {0, 1, 2}

    def test_star(self):
        for _ in range(100):
            operations = [("h", q) for q in range(4)] + [("cz", 0, leaf) for leaf in (1, 2, 3)]
            mirror = mirrored(4, operations)
            assert_possible_sequence(mirror, {0, 1, 2, 3})
            assert_possible_sequence(mirror, {1, 2})
            assert mirror.simulator.get_entangled_group(2) == {0, 1, 2, 3}

    def test_out_of_range_qubit_leaves_register(self, panic):
        mirror = mirrored(3, [("h", 0), ("cx", 0, 1), ("h", 2)])
        with pytest.raises(panic, match="the len is 3 but the index is 7"):
            mirror.simulator.peek_measure_set({0, 1, 2, 7})
        assert mirror.simulator.get_entangled_group(0) == {0, 1}
        assert mirror.simulator.measure_x(2) == PlusOne
        mirror.measure(0, AXIS_X)
        mirror.measure(1, AXIS_X)
