"""MeasurementResult, Axis and Outcome: values, text forms, integers, comparison and hashing."""

import operator

import pytest
from hypothesis import given
from hypothesis import strategies as st

from korvane import Axis, Korvane, MeasurementResult, Outcome

AXES = [("X", 0), ("Y", 1), ("Z", 2)]
RESULTS = [("PlusOne", 0), ("MinusOne", 1)]


def fresh_result(bit):
    """A MeasurementResult made by a measurement rather than taken from the class."""
    sim = Korvane(1)
    if bit:
        sim.x(0)
    return sim.measure_z(0)


def fresh_outcome(prepare):
    sim = Korvane(1)
    prepare(sim)
    return sim.peek_measure_set({0})[0]


class TestClassAttributes:
    def test_attributes_are_shared_instances_in_order(self):
        assert [k for k in vars(MeasurementResult) if k[0].isupper()] == ["PlusOne", "MinusOne"]
        assert [k for k in vars(Axis) if k[0].isupper()] == ["X", "Y", "Z"]
        assert MeasurementResult.PlusOne is MeasurementResult.PlusOne
        assert type(MeasurementResult.MinusOne) is MeasurementResult and type(Axis.Z) is Axis

    @pytest.mark.parametrize("cls, members", [(Axis, AXES), (MeasurementResult, RESULTS)])
    def test_text_and_integer(self, cls, members):
        for name, value in members:
            member = getattr(cls, name)
            assert repr(member) == str(member) == f"{cls.__name__}.{name}"
            assert int(member) == value and type(int(member)) is int
            with pytest.raises(TypeError):
                operator.index(member)
            with pytest.raises(TypeError):
                [0, 1, 2][member]

    def test_measured_results_equal_but_are_not_the_attributes(self):
        for bit, member in enumerate([MeasurementResult.PlusOne, MeasurementResult.MinusOne]):
            measured = fresh_result(bit)
            assert measured == member and measured is not member
            assert repr(measured) == repr(member) and int(measured) == bit

    def test_value_instances_are_not_accepted_as_qubits(self):
        with pytest.raises(TypeError, match="^argument 'qubit': "):
            Korvane(3).h(Axis.Y)


class TestComparison:
    @pytest.mark.parametrize("cls, members", [(Axis, AXES), (MeasurementResult, RESULTS)])
    def test_same_class_by_value(self, cls, members):
        for name_a, value_a in members:
            for name_b, value_b in members:
                a, b = getattr(cls, name_a), getattr(cls, name_b)
                assert (a == b) is (value_a == value_b)
                assert (a != b) is (value_a != value_b)

    @given(st.one_of(st.integers(), st.booleans(), st.integers(min_value=-3, max_value=3)))
    def test_integers_compare_like_ints(self, number):
        for cls, members in ((Axis, AXES), (MeasurementResult, RESULTS)):
            for name, value in members:
                member = getattr(cls, name)
                assert (member == number) is (value == number)
                assert (number == member) is (value == number)
                assert (member != number) is (value != number)

    def test_index_objects_compare_by_their_index(self):
        class Index:
            def __init__(self, value):
                self.value = value

            def __index__(self):
                return self.value

        class Broken:
            def __index__(self):
                raise ValueError("not today")

        assert Axis.Y == Index(1) and Axis.Y != Index(2)
        assert not (Axis.Y == Broken()) and Axis.Y != Broken()

    def test_no_cross_class_or_foreign_equality(self):
        assert Axis.X != MeasurementResult.PlusOne and not (Axis.X == MeasurementResult.PlusOne)
        assert MeasurementResult.MinusOne == 1 and MeasurementResult.MinusOne != -1
        assert MeasurementResult.MinusOne == True  # noqa: E712 - bool is an int
        for foreign in (1.0, 0.0, "X", "Axis.X", None, b"\x00", [0]):
            assert not (Axis.X == foreign) and not (Axis.Y == foreign)
            assert not (MeasurementResult.PlusOne == foreign)
        assert not (Axis.Z == 2**64 + 2) and not (Axis.X == -(2**63) - 1)

    @pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
    def test_no_ordering(self, op):
        for left, right in ((Axis.X, Axis.Y), (Axis.X, 1), (1, Axis.X),
                            (MeasurementResult.PlusOne, MeasurementResult.MinusOne)):
            with pytest.raises(TypeError):
                op(left, right)

    def test_unhashable(self):
        for member in (Axis.X, MeasurementResult.PlusOne, fresh_result(1)):
            assert type(member).__hash__ is None
            with pytest.raises(TypeError):
                hash(member)
        with pytest.raises(TypeError):
            {Axis.X}
        with pytest.raises(TypeError):
            {MeasurementResult.MinusOne: 1}


class TestOutcome:
    @pytest.mark.parametrize(
        "prepare, axis, result, text",
        [
            (lambda sim: None, Axis.Z, MeasurementResult.PlusOne, "(Z, +1)"),
            (lambda sim: sim.x(0), Axis.Z, MeasurementResult.MinusOne, "(Z, -1)"),
            (lambda sim: sim.h(0), Axis.X, MeasurementResult.PlusOne, "(X, +1)"),
            (lambda sim: (sim.h(0), sim.z(0)), Axis.X, MeasurementResult.MinusOne, "(X, -1)"),
            (lambda sim: (sim.h(0), sim.s(0)), Axis.Y, MeasurementResult.PlusOne, "(Y, +1)"),
            (lambda sim: (sim.h(0), sim.sdag(0)), Axis.Y, MeasurementResult.MinusOne, "(Y, -1)"),
        ],
    )
    def test_attributes_and_text(self, prepare, axis, result, text):
        outcome = fresh_outcome(prepare)
        assert type(outcome) is Outcome
        assert outcome.axis == axis and outcome.result == result
        assert type(outcome.axis) is Axis and type(outcome.result) is MeasurementResult
        assert str(outcome) == text
        assert repr(outcome) == f"Outcome(result={result!r}, axis={axis!r})"

    def test_attributes_are_new_and_read_only(self):
        outcome = fresh_outcome(lambda sim: sim.x(0))
        assert outcome.result is not outcome.result and outcome.result == outcome.result
        assert outcome.axis is not outcome.axis and outcome.axis is not Axis.Z
        for name in ("result", "axis"):
            with pytest.raises(AttributeError):
                setattr(outcome, name, Axis.X)
            with pytest.raises(AttributeError):
                delattr(outcome, name)
        with pytest.raises(AttributeError):
            outcome.extra = 1
        assert str(outcome) == "(Z, -1)"

    def test_identity_equality_and_hash(self):
        first, second = fresh_outcome(lambda sim: None), fresh_outcome(lambda sim: None)
        assert first == first and first != second
        assert len({first, second}) == 2
        with pytest.raises(TypeError):
            int(first)
