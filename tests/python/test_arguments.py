"""Argument parsing and conversion of every method and the constructor.

References: Python's own binding of a call to the methods' text signatures (inspect), and the
integer protocol (operator.index) for what a qubit index may be.
"""

import inspect
import operator
import sys
import tracemalloc

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from korvane import Korvane

SINGLE_QUBIT = ["x", "y", "z", "h", "s", "sdag"]
TWO_QUBIT = ["cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy"]
ONE_QUBIT_ARG = SINGLE_QUBIT + ["measure_x", "measure_y", "measure_z", "get_entangled_group"]
ALL_METHODS = ONE_QUBIT_ARG + TWO_QUBIT + ["peek_measure_set"]
SIZE = 4


def parameters_of(name):
    if name == "peek_measure_set":
        return ["qubits"]
    return ["control", "target"] if name in TWO_QUBIT else ["qubit"]


def valid_value(parameter):
    return frozenset({1}) if parameter == "qubits" else 1


class Index:
    """An int stand-in through __index__ only."""

    def __init__(self, value, calls=None):
        self.value = value
        self.calls = calls

    def __index__(self):
        if self.calls is not None:
            self.calls.append(self.value)
        return self.value


class TestParsing:
    @pytest.mark.parametrize("name", ALL_METHODS)
    def test_structural_errors_name_the_method(self, name):
        method = getattr(Korvane(SIZE), name)
        params = parameters_of(name)
        count = len(params)
        full = f"Korvane.{name}()"
        values = [valid_value(p) for p in params]
        with pytest.raises(TypeError) as too_many:
            method(*values, values[0])
        word = "was" if count + 1 == 1 else "were"
        assert str(too_many.value) == (
            f"{full} takes {count} positional arguments but {count + 1} {word} given"
        )
        with pytest.raises(TypeError) as twice:
            method(*values, **{params[0]: values[0]})
        assert str(twice.value) == f"{full} got multiple values for argument '{params[0]}'"
        with pytest.raises(TypeError) as unknown:
            method(*values, n=3)
        assert str(unknown.value) == f"{full} got an unexpected keyword argument 'n'"
        with pytest.raises(TypeError) as missing:
            method()
        quoted = " and ".join(f"'{p}'" for p in params)
        noun = "argument" if count == 1 else "arguments"
        assert str(missing.value) == f"{full} missing {count} required positional {noun}: {quoted}"

    def test_messages_of_the_common_cases(self):
        sim = Korvane(SIZE)
        cases = [
            (lambda: sim.h(0, qubit=0), "Korvane.h() got multiple values for argument 'qubit'"),
            (lambda: sim.h(), "Korvane.h() missing 1 required positional argument: 'qubit'"),
            (lambda: sim.cx(), "Korvane.cx() missing 2 required positional arguments: 'control' and 'target'"),
            (lambda: sim.cx(0), "Korvane.cx() missing 1 required positional argument: 'target'"),
            (lambda: sim.cx(target=1), "Korvane.cx() missing 1 required positional argument: 'control'"),
            (lambda: sim.h(0, 1), "Korvane.h() takes 1 positional arguments but 2 were given"),
            (lambda: sim.h(1, 2, 3), "Korvane.h() takes 1 positional arguments but 3 were given"),
            (lambda: sim.cx(0, 1, 2), "Korvane.cx() takes 2 positional arguments but 3 were given"),
            (lambda: sim.cx(0, control=1), "Korvane.cx() got multiple values for argument 'control'"),
            # Keywords are taken in order: the unknown one is met before the repeated one.
            (lambda: sim.cx(0, bogus=1, control=1), "Korvane.cx() got an unexpected keyword argument 'bogus'"),
            # Parsing decides before any conversion.
            (lambda: sim.h("no", 2), "Korvane.h() takes 1 positional arguments but 2 were given"),
            (lambda: Korvane(), "Korvane.__new__() missing 1 required positional argument: 'qubit_amount'"),
            (lambda: Korvane(n=3), "Korvane.__new__() got an unexpected keyword argument 'n'"),
            (lambda: Korvane(3, 4), "Korvane.__new__() takes 1 positional arguments but 2 were given"),
            (lambda: Korvane(3, qubit_amount=3), "Korvane.__new__() got multiple values for argument 'qubit_amount'"),
        ]
        for call, message in cases:
            with pytest.raises(TypeError) as caught:
                call()
            assert str(caught.value) == message

    @settings(max_examples=300, deadline=None)
    @given(
        name=st.sampled_from(ALL_METHODS),
        positional=st.integers(min_value=0, max_value=3),
        keywords=st.lists(
            st.sampled_from(["qubit", "control", "target", "qubits", "other"]), unique=True, max_size=3
        ),
    )
    def test_accepts_exactly_what_the_signature_binds(self, name, positional, keywords):
        sim = Korvane(SIZE)
        method = getattr(sim, name)
        # Distinct qubits, so that no two-qubit gate is refused for control == target.
        keyword_values = {"qubit": 1, "control": 2, "target": 3, "qubits": 1, "other": 1}
        def value(q):
            return frozenset({q}) if name == "peek_measure_set" else q

        args = [value(q) for q in range(positional)]
        kwargs = {k: value(keyword_values[k]) for k in keywords}
        try:
            inspect.signature(method).bind(*args, **kwargs)
            binds = True
        except TypeError:
            binds = False
        try:
            method(*args, **kwargs)
            accepted = True
        except TypeError as error:
            assert str(error).startswith(f"Korvane.{name}() ")
            accepted = False
        assert accepted == binds

    def test_keywords_fill_their_own_parameters(self):
        # cx flips the target when the control is |1>: which qubit flips shows who was who.
        for call in (lambda s: s.cx(target=1, control=0), lambda s: s.cx(0, target=1)):
            sim = Korvane(2)
            sim.x(0)
            call(sim)
            assert int(sim.measure_z(0)) == 1 and int(sim.measure_z(1)) == 1
        sim = Korvane(2)
        sim.x(1)
        sim.cx(target=0, control=1)
        assert int(sim.measure_z(0)) == 1


class TestQubitIndex:
    @settings(max_examples=300, deadline=None)
    @given(st.one_of(st.integers(min_value=-(2**70), max_value=2**70), st.integers(-4, 8),
                     st.sampled_from([2**64 - 1, 2**64, -1, 2**63])))
    def test_range_follows_the_unsigned_64_bit_rule(self, value):
        sim = Korvane(SIZE)
        if value < 0 or value >= 2**64:
            with pytest.raises(OverflowError) as caught:
                sim.h(value)
            assert "qubit" not in str(caught.value)
        elif value >= SIZE:
            with pytest.raises(BaseException) as caught:
                sim.h(value)
            assert str(caught.value) == f"index out of bounds: the len is {SIZE} but the index is {value}"
        else:
            assert sim.h(value) is None
            assert int(sim.measure_x(value)) == 0  # the H landed on that qubit: |+>

    def test_largest_unsigned_value_reaches_the_engine(self):
        with pytest.raises(BaseException) as caught:
            Korvane(3).h(2**64 - 1)
        assert str(caught.value) == "index out of bounds: the len is 3 but the index is 18446744073709551615"
        assert not isinstance(caught.value, Exception)

    @pytest.mark.parametrize("value", [True, False, Index(1), Index(2**64 - 4)])
    def test_bool_and_index_objects_are_read_as_integers(self, value):
        sim = Korvane(2)
        expected = operator.index(value)
        if expected < 2:
            sim.x(value)
            assert [int(sim.measure_z(q)) for q in range(2)] == [q == expected for q in range(2)]
        else:
            with pytest.raises(BaseException, match=f"the index is {expected}$"):
                sim.x(value)

    def test_int_subclass_is_read_as_int_without_its_index(self):
        class Shifty(int):
            def __index__(self):
                raise AssertionError("an int is read directly")

        sim = Korvane(3)
        sim.x(Shifty(2))
        assert [int(sim.measure_z(q)) for q in range(3)] == [0, 0, 1]

    @pytest.mark.parametrize("name", ONE_QUBIT_ARG)
    @pytest.mark.parametrize("value", [1.0, "1", None, [1], 1j])
    def test_non_integers_are_type_errors_naming_qubit(self, name, value):
        with pytest.raises(TypeError) as caught:
            getattr(Korvane(SIZE), name)(value)
        assert type(caught.value) is TypeError
        reference = TypeError
        try:
            operator.index(value)
        except TypeError as error:
            reference = error
        assert str(caught.value) == f"argument 'qubit': {reference}"

    def test_two_qubit_arguments_are_converted_before_the_engine_runs(self, states):
        sim = Korvane(3)
        with pytest.raises(TypeError, match="^argument 'target': "):
            sim.cx(5, "a")
        with pytest.raises(TypeError, match="^argument 'control': "):
            sim.cx("a", 5)
        with pytest.raises(OverflowError) as caught:
            sim.cz(-1, "a")  # control is converted first and fails first
        assert "control" not in str(caught.value) and "target" not in str(caught.value)
        assert states(sim, range(3)) == {q: (2, 0) for q in range(3)}

    def test_renamed_type_error_keeps_the_cause(self):
        root = ValueError("root cause")

        class Failing:
            def __index__(self):
                raise TypeError("no index today") from root

        with pytest.raises(TypeError) as caught:
            Korvane(2).h(Failing())
        assert str(caught.value) == "argument 'qubit': no index today"
        assert caught.value.__cause__ is root

    def test_other_exceptions_from_index_pass_unchanged(self):
        class Subclassed(TypeError):
            pass

        for error in (ValueError("bad value"), Subclassed("narrower"), KeyError("k")):
            class Raising:
                def __index__(self, error=error):
                    raise error

            with pytest.raises(type(error)) as caught:
                Korvane(2).y(Raising())
            assert caught.value is error

    def test_constructor_names_qubit_amount(self):
        with pytest.raises(TypeError, match=r"^argument 'qubit_amount': "):
            Korvane("3")
        with pytest.raises(OverflowError):
            Korvane(-1)
        Korvane(Index(2)).h(1)


class TestQubitSet:
    @pytest.mark.parametrize(
        "value, type_name",
        [([0], "list"), ((0,), "tuple"), ({0: 1}, "dict"), (0, "int"), ("0", "str"), (None, "NoneType")],
    )
    def test_only_sets_are_accepted(self, value, type_name):
        with pytest.raises(TypeError) as caught:
            Korvane(2).peek_measure_set(value)
        assert str(caught.value) == f"argument 'qubits': '{type_name}' object cannot be cast as 'set'"

    def test_the_qualified_type_name_is_reported(self):
        class Bag(list):
            pass

        with pytest.raises(TypeError) as caught:
            Korvane(2).peek_measure_set(Bag([0]))
        assert str(caught.value) == (
            f"argument 'qubits': '{Bag.__qualname__}' object cannot be cast as 'set'"
        )
        assert "<locals>" in Bag.__qualname__

    def test_frozenset_and_subclasses_use_their_own_iteration(self):
        calls = []

        class Odd(set):
            def __iter__(self):
                calls.append("set")
                return iter([1, Index(2)])

        class Frozen(frozenset):
            def __iter__(self):
                calls.append("frozenset")
                return iter([0])

        sim = Korvane(3)
        assert sorted(sim.peek_measure_set(frozenset({0, 2}))) == [0, 2]
        assert sorted(sim.peek_measure_set(Odd({0}))) == [1, 2]
        assert sorted(sim.peek_measure_set(Frozen({2}))) == [0]
        assert calls == ["set", "frozenset"]

    def test_elements_naming_the_same_qubit_count_once(self):
        outcomes = Korvane(3).peek_measure_set({1, Index(1), True})
        assert list(outcomes) == [1]

    def test_element_errors(self):
        sim = Korvane(3)
        with pytest.raises(TypeError) as caught:
            sim.peek_measure_set({0, "a"})
        assert str(caught.value) == f"argument 'qubits': {self._index_error('a')}"
        with pytest.raises(OverflowError) as overflow:
            sim.peek_measure_set({0, -1})
        assert "qubits" not in str(overflow.value)
        with pytest.raises(BaseException, match="^index out of bounds: the len is 3 but the index is 7$"):
            sim.peek_measure_set({0, 7})

    def test_iteration_stops_at_the_first_bad_element(self):
        seen = []

        class Ordered(set):
            def __iter__(self):
                return iter([Index(0, seen), "bad", Index(1, seen)])

        with pytest.raises(TypeError, match="^argument 'qubits': "):
            Korvane(2).peek_measure_set(Ordered())
        assert seen == [0]

    @staticmethod
    def _index_error(value):
        try:
            operator.index(value)
        except TypeError as error:
            return str(error)
        raise AssertionError("expected a TypeError")


class TestNoLeaks:
    def test_failing_calls_release_their_arguments(self):
        sim = Korvane(2)
        big = 2**80
        index = Index(5)
        word = "qubit"
        qubits = {0, "a"}
        frozen = frozenset({9})
        listed = [0]
        arguments = [big, index, word, qubits, frozen, listed]
        before = [sys.getrefcount(a) for a in arguments]
        for _ in range(50):
            for call in (
                lambda: sim.h(big), lambda: sim.h(index), lambda: sim.h(word),
                lambda: sim.cx(index, word), lambda: sim.h(qubit=index, other=big),
                lambda: sim.peek_measure_set(qubits), lambda: sim.peek_measure_set(frozen),
                lambda: sim.peek_measure_set(listed), lambda: sim.get_entangled_group(index),
                lambda: sim.measure_x(index), lambda: Korvane(word), lambda: Korvane(big),
            ):
                with pytest.raises(BaseException):
                    call()
        assert [sys.getrefcount(a) for a in arguments] == before

    def test_repeated_failures_do_not_grow_memory(self):
        sim = Korvane(2)
        index = Index(7)

        def fail_many():
            for _ in range(2000):
                for call in (lambda: sim.cx(index, "t"), lambda: sim.peek_measure_set({0, 9}),
                             lambda: sim.h(), lambda: sim.measure_y(index)):
                    try:
                        call()
                    except BaseException:  # noqa: BLE001
                        pass

        fail_many()  # warm up caches and the exception classes
        tracemalloc.start()
        try:
            start, _ = tracemalloc.get_traced_memory()
            fail_many()
            end, _ = tracemalloc.get_traced_memory()
        finally:
            tracemalloc.stop()
        assert end - start < 64 * 1024
