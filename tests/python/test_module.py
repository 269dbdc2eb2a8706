"""The module's face: import, classes, method table, constructor, results and fault mapping."""

import importlib
import subprocess
import sys
import textwrap
import weakref

import pytest

import korvane
from korvane import Axis, Korvane, MeasurementResult, Outcome

SINGLE_QUBIT = ["x", "y", "z", "h", "s", "sdag"]
TWO_QUBIT = ["cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy"]
MEASURE = ["measure_x", "measure_y", "measure_z"]
METHOD_ORDER = SINGLE_QUBIT + TWO_QUBIT + MEASURE + ["get_entangled_group", "peek_measure_set"]
# Public names added beside the twenty methods, in the table's order (tests/python/test_state_io.py
# and tests/python/test_circuit*.py cover them).
ADDED_NAMES = [
    "copy", "to_bytes", "from_bytes", "save", "load", "graph", "from_graph", "add_edges",
    "cluster", "stabilizers", "peek_pauli", "measure_pauli", "reset", "swap", "run", "draw",
    "qubit_amount",
]

FIRST_DOC_LINES = {
    "x": "Apply an X (Pauli-X) gate to the given qubit.",
    "y": "Apply a Y (Pauli-Y) gate to the given qubit.",
    "z": "Apply a Z (Pauli-Z) gate to the given qubit.",
    "h": "Apply an H (Hadamard) gate to the given qubit.",
    "s": "Apply an S (phase) gate to the given qubit.",
    "sdag": "Apply an S\u2020 (inverse phase) gate to the given qubit.",
    "cz": "Apply a controlled-Z (CZ) gate with `control` and `target` qubits.",
    "cx": "Apply a controlled-X (CX) / CNOT gate with `control` and `target`.",
    "xcx": "Apply an X-controlled X gate (CX in the X basis).",
    "ycx": "Apply a Y-controlled X gate (control qubit in the Y basis).",
    "xcz": "Apply an X-controlled Z gate (target in X basis).",
    "ycz": "Apply a Y-controlled Z gate (target in Y basis).",
    "cy": "Apply a controlled-Y (CY) gate with `control` and `target`.",
    "xcy": "Apply an X-controlled Y gate (control in X basis).",
    "ycy": "Apply a Y-controlled Y gate (both in Y basis).",
    "measure_x": "Perform a projective measurement of `qubit` in the X basis.",
    "measure_y": "Perform a projective measurement of `qubit` in the Y basis.",
    "measure_z": "Perform a projective measurement of `qubit` in the Z basis.",
    "get_entangled_group": "Return the set of qubits that are entangled with `qubit`.",
    "peek_measure_set": "Simulate measurements on a set of `qubits` without modifying the real state.",
}
SECOND_DOC_LINES = {
    **{name: "`node` is the index of the qubit." for name in SINGLE_QUBIT},
    **{name: "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`." for name in MEASURE},
    "get_entangled_group": "This follows adjacency in the underlying graph.",
    "peek_measure_set": "Returns a map from qubit index to `Outcome` (result and axis used).",
}

TP_FLAGS_IMMUTABLETYPE = 1 << 8
TP_FLAGS_BASETYPE = 1 << 10
TP_FLAGS_HAVE_GC = 1 << 14


def call_on(sim, name, *qubits):
    """Calls method `name` with qubit arguments shaped as the method wants them."""
    if name == "peek_measure_set":
        return sim.peek_measure_set(set(qubits[:1]))
    if name in TWO_QUBIT:
        return getattr(sim, name)(*qubits[:2])
    return getattr(sim, name)(qubits[0])


class TestImport:
    def test_import_again_and_after_removal_gives_the_same_module(self):
        assert importlib.import_module("korvane") is korvane
        del sys.modules["korvane"]
        try:
            again = importlib.import_module("korvane")
        finally:
            sys.modules["korvane"] = korvane
        assert again is korvane
        assert again.__all__ == ["MeasurementResult", "Outcome", "Axis", "Korvane"]

    def test_module_attributes(self):
        assert korvane.__name__ == "korvane"
        assert korvane.__doc__ == (
            "Graph-state based quantum circuit simulator exposed as the `korvane` Python module."
        )
        assert korvane.__all__ == ["MeasurementResult", "Outcome", "Axis", "Korvane"]
        public = [name for name in vars(korvane) if not name.startswith("_")]
        # The circuit classes and the shot functions stand beside the four, outside __all__.
        assert sorted(public) == sorted(
            [*korvane.__all__, "Circuit", "DetectorErrorModel", "write_shots", "read_shots"]
        )
        assert not hasattr(korvane, "PanicException")

    def test_second_interpreter_is_refused(self):
        script = textwrap.dedent(
            """
            import korvane, _interpreters
            interp = _interpreters.create("legacy")
            error = _interpreters.exec(interp, "import korvane")
            print(error.type.__name__ if error else "imported")
            print(error.msg if error else "")
            """
        )
        run = subprocess.run(
            [sys.executable, "-c", script], capture_output=True, text=True, timeout=120,
            env={"PYTHONPATH": ":".join(p for p in sys.path if p)},
        )
        assert run.returncode == 0, run.stderr
        kind, message = run.stdout.strip().splitlines()
        assert kind == "ImportError"
        assert message.startswith("korvane does not support subinterpreters")


class TestClasses:
    @pytest.mark.parametrize("cls", [MeasurementResult, Outcome, Axis, Korvane])
    def test_class_facts(self, cls):
        assert cls.__module__ == "korvane"
        assert cls.__bases__ == (object,)
        assert cls.__flags__ & (TP_FLAGS_BASETYPE | TP_FLAGS_HAVE_GC | TP_FLAGS_IMMUTABLETYPE) == 0
        with pytest.raises(TypeError):
            type("Derived", (cls,), {})
        cls.scratch_attribute = 1  # an ordinary mutable type
        del cls.scratch_attribute

    @pytest.mark.parametrize("cls", [MeasurementResult, Outcome, Axis])
    def test_value_classes_cannot_be_called(self, cls):
        with pytest.raises(TypeError):
            cls()

    def test_docstrings(self):
        assert Korvane.__doc__ == (
            "Simulator for graph states over a fixed number of qubits.\n\n"
            "Use this class from Python to apply gates and perform measurements."
        )
        assert Korvane.__text_signature__ == "(qubit_amount)"
        assert MeasurementResult.__doc__ == (
            "Result of a single-qubit measurement.\n\n"
            "Exposed to Python as `korvane.MeasurementResult`."
        )
        assert Outcome.__doc__ == (
            "Measurement outcome and the axis that was measured.\n\n"
            "Returned in the values of `peek_measure_set`."
        )
        assert Axis.__doc__ is None

    def test_method_table_order_signatures_and_docstrings(self):
        methods = [name for name, value in vars(Korvane).items() if not name.startswith("_")]
        # The twenty methods come first, in their order; the additions beside them follow.
        assert methods == METHOD_ORDER + ADDED_NAMES
        for name in METHOD_ORDER:
            method = getattr(Korvane, name)
            params = (
                "qubits" if name == "peek_measure_set"
                else "control, target" if name in TWO_QUBIT else "qubit"
            )
            assert method.__text_signature__ == f"($self, {params})"
            paragraphs = [FIRST_DOC_LINES[name]]
            if name in SECOND_DOC_LINES:
                paragraphs.append(SECOND_DOC_LINES[name])
            assert method.__doc__ == "\n\n".join(paragraphs)

    def test_instances_take_no_attributes_and_no_weak_references(self):
        sim = Korvane(1)
        with pytest.raises(AttributeError):
            sim.label = "mine"
        with pytest.raises(TypeError):
            weakref.ref(sim)
        # Identity hash and identity comparison, as object gives them.
        assert type(sim).__hash__ is object.__hash__ and hash(sim) == object.__hash__(sim)
        assert sim == sim and sim != Korvane(1)


class TestConstructor:
    def test_keyword_and_positional_build_the_requested_size(self, panic):
        for sim in (Korvane(3), Korvane(qubit_amount=3), Korvane(True + 2)):
            sim.h(2)
            with pytest.raises(panic, match=r"^index out of bounds: the len is 3 but the index is 3$"):
                sim.h(3)

    def test_empty_register_faults_and_stays_usable(self, panic):
        sim = Korvane(0)
        for _ in range(2):
            with pytest.raises(panic) as caught:
                sim.x(0)
            assert str(caught.value) == "index out of bounds: the len is 0 but the index is 0"
            assert caught.value.args == ("index out of bounds: the len is 0 but the index is 0",)
        assert sim.peek_measure_set(set()) == {}

    def test_unaddressable_register_is_a_capacity_fault(self, panic):
        with pytest.raises(panic) as caught:
            Korvane(2**62)
        assert str(caught.value) == "capacity overflow"
        with pytest.raises(panic, match="^capacity overflow$"):
            Korvane(2**64 - 1)

    def test_refused_memory_is_a_memory_error(self):
        with pytest.raises(MemoryError):
            Korvane(2**50)
        Korvane(4).h(3)  # the process goes on as before


class TestPanicException:
    def test_direct_subclass_of_base_exception(self, panic):
        assert panic.__bases__ == (BaseException,)
        assert not issubclass(panic, Exception)

    def test_not_caught_by_except_exception(self, panic):
        sim = Korvane(1)
        with pytest.raises(panic):
            try:
                sim.measure_z(1)
            except Exception:  # noqa: BLE001 - this is what must not catch it
                pytest.fail("PanicException was caught as an Exception")

    def test_one_class_for_every_fault(self, panic):
        sim = Korvane(2)
        faults = []
        for name in METHOD_ORDER:
            try:
                call_on(sim, name, 5, 0)
            except BaseException as error:  # noqa: BLE001
                faults.append((type(error), str(error)))
        assert faults == [(panic, "index out of bounds: the len is 2 but the index is 5")] * 20

    @pytest.mark.parametrize("name", TWO_QUBIT)
    def test_same_control_and_target_is_refused_and_changes_nothing(self, name, panic, states):
        sim = Korvane(2)
        sim.h(0)
        sim.s(1)
        before = states(sim, [0, 1])
        with pytest.raises(panic, match="^control and target must be different qubits$"):
            getattr(sim, name)(0, 0)
        assert states(sim, [0, 1]) == before
        assert sim.get_entangled_group(0) == {0}
        getattr(sim, name)(0, 1)


class TestResults:
    @pytest.mark.parametrize("name", SINGLE_QUBIT + TWO_QUBIT)
    def test_gates_return_none_and_release_the_object(self, name):
        sim = Korvane(2)
        assert call_on(sim, name, 0, 1) is None
        assert sim.get_entangled_group(1) >= {1}

    def test_measurement_results_are_new_objects(self):
        sim = Korvane(2)
        sim.x(1)
        before = sys.getrefcount(MeasurementResult.PlusOne), sys.getrefcount(MeasurementResult.MinusOne)
        first, second = sim.measure_z(0), sim.measure_z(0)
        flipped = sim.measure_z(1)
        assert type(first) is MeasurementResult
        assert first == MeasurementResult.PlusOne and first is not MeasurementResult.PlusOne
        assert first is not second
        assert flipped == MeasurementResult.MinusOne and flipped is not MeasurementResult.MinusOne
        after = sys.getrefcount(MeasurementResult.PlusOne), sys.getrefcount(MeasurementResult.MinusOne)
        assert before == after
        # Results dropped and made again (their memory reused) carry each new value and give
        # their reference to the class back.
        class_references = sys.getrefcount(MeasurementResult)
        for _ in range(100):
            assert [repr(sim.measure_z(q)) for q in (0, 1, 0)] == [
                "MeasurementResult.PlusOne", "MeasurementResult.MinusOne", "MeasurementResult.PlusOne"]
        assert sys.getrefcount(MeasurementResult) == class_references

    def test_entangled_group_is_a_new_set_of_ints(self):
        sim = Korvane(4)
        sim.h(0)
        sim.cx(0, 2)
        first, second = sim.get_entangled_group(2), sim.get_entangled_group(2)
        assert type(first) is set and first == {0, 2} and first is not second
        assert all(type(q) is int for q in first)
        first.add(99)  # the caller owns it
        assert sim.get_entangled_group(0) == {0, 2}
        assert sim.get_entangled_group(3) == {3}

    def test_peek_returns_a_new_dict_of_new_outcomes(self):
        sim = Korvane(3)
        sim.x(1)
        sim.h(2)
        empty_a, empty_b = sim.peek_measure_set(set()), sim.peek_measure_set(frozenset())
        assert type(empty_a) is dict and empty_a == {} and empty_a is not empty_b
        outcomes = sim.peek_measure_set({0, 1, 2})
        assert sorted(outcomes) == [0, 1, 2]
        assert all(type(q) is int and type(o) is Outcome for q, o in outcomes.items())
        assert len({id(o) for o in outcomes.values()}) == 3
        found = {q: (o.axis, o.result) for q, o in outcomes.items()}
        assert found == {
            0: (Axis.Z, MeasurementResult.PlusOne),
            1: (Axis.Z, MeasurementResult.MinusOne),
            2: (Axis.X, MeasurementResult.PlusOne),
        }
