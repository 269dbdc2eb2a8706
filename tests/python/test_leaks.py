"""Reference counts and leaks: every method, called many times and ending every possible way,
leaves the interpreter's count of allocated blocks and the C heap where they were."""

import ctypes
import gc
import sys

import pytest

from korvane import Axis, Circuit, Korvane, MeasurementResult

REPEATS = 10_000
WARM_UP = 2_000
# A leak of one block per call shows as REPEATS blocks, of one heap chunk as at least 32 bytes
# per call; caches, free lists and the interpreter's specialisation move far less.
BLOCK_SLACK = 500
HEAP_SLACK = 128 * 1024

SINGLE = ["x", "y", "z", "h", "s", "sdag"]
PAIR = ["cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy"]
MEASURE = ["measure_x", "measure_y", "measure_z"]


def _heap_in_use():
    """Bytes the C allocator has handed out and not taken back (glibc mallinfo2)."""
    try:
        libc = ctypes.CDLL(None)
        mallinfo2 = libc.mallinfo2
    except (OSError, AttributeError):
        return None

    class MallInfo2(ctypes.Structure):
        _fields_ = [(name, ctypes.c_size_t) for name in
                    ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
                     "uordblks", "fordblks", "keepcost")]

    mallinfo2.restype = MallInfo2
    info = mallinfo2()
    return info.uordblks + info.hblkhd


def _steady(call):
    """Runs `call` WARM_UP times, then REPEATS times, and returns the growth of both measures."""
    for _ in range(WARM_UP):
        call()
    gc.collect()
    blocks = sys.getallocatedblocks()
    heap = _heap_in_use()
    for _ in range(REPEATS):
        call()
    gc.collect()
    heap_after = _heap_in_use()
    return sys.getallocatedblocks() - blocks, None if heap is None else heap_after - heap


def _assert_steady(call):
    blocks, heap = _steady(call)
    assert blocks < BLOCK_SLACK, f"{blocks} Python blocks left behind by {REPEATS} calls"
    if heap is not None:
        assert heap < HEAP_SLACK, f"{heap} heap bytes left behind by {REPEATS} calls"


def _swallow(call, expected):
    def run():
        try:
            call()
        except expected:
            pass
        else:
            raise AssertionError("the call did not fail")

    return run


class _Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class _BadIndex:
    def __index__(self):
        raise ValueError("no index here")


class _Reentrant:
    """An index that calls back into the same register while the outer call holds the borrow."""

    def __init__(self, sim):
        self.sim = sim

    def __index__(self):
        self.sim.h(0)
        return 0


def _panic_type():
    try:
        Korvane(0).h(0)
    except BaseException as error:  # noqa: BLE001 - the class is what we are after
        return type(error)
    raise AssertionError("no fault")


PANIC = _panic_type()


CIRCUIT = "H 0\nCX 0 1\nDEPOLARIZE1(0.1) 0\nM 0 1\nDETECTOR rec[-1] rec[-2]\nCX rec[-1] 2\n"


def _successes():
    """(name, call) pairs that succeed; the register is entangled so measurements do work."""
    sim = Korvane(6)
    for q in range(6):
        sim.h(q)
    for q in range(5):
        sim.cz(q, q + 1)
    calls = [(name, lambda name=name: getattr(sim, name)(_Index(2))) for name in SINGLE]
    calls += [(name, lambda name=name: getattr(sim, name)(1, target=4)) for name in PAIR]
    calls += [(name, lambda name=name: (getattr(sim, name)(3), sim.h(3), sim.cz(3, 2)))
              for name in MEASURE]
    calls += [
        ("get_entangled_group", lambda: sim.get_entangled_group(0)),
        ("peek_measure_set", lambda: sim.peek_measure_set({0, 1, 2, 3})),
        ("Korvane", lambda: Korvane(50)),
        ("value classes", lambda: (repr(MeasurementResult.PlusOne), int(Axis.Y),
                                   MeasurementResult.MinusOne != 1, Axis.X == Axis.Z,
                                   str(sim.peek_measure_set({5})[5]))),
    ]
    circuit = Circuit(CIRCUIT)
    calls += [
        ("Circuit", lambda: (Circuit(CIRCUIT), str(circuit), repr(circuit), circuit.__reduce__(),
                             circuit.num_qubits, circuit.num_measurements)),
        ("run", lambda: sim.run(circuit)),
        ("sample", lambda: circuit.sample(3, seed=1)),
        ("sample_detectors", lambda: circuit.sample_detectors(3)),
    ]
    return calls


def _failures():
    """(name, call, exception) triples covering every way a call can fail."""
    sim = Korvane(4)
    failures = []
    for name in SINGLE + MEASURE + ["get_entangled_group"]:
        method = getattr(sim, name)
        failures += [
            (f"{name} arity", lambda m=method: m(), TypeError),
            (f"{name} keyword", lambda m=method: m(qubitt=0), TypeError),
            (f"{name} type", lambda m=method: m("0"), TypeError),
            (f"{name} negative", lambda m=method: m(-1), OverflowError),
            (f"{name} huge", lambda m=method: m(2**64), OverflowError),
            (f"{name} index raises", lambda m=method: m(_BadIndex()), ValueError),
            (f"{name} borrow", lambda m=method: m(_Reentrant(sim)), RuntimeError),
            (f"{name} fault", lambda m=method: m(4), PANIC),
        ]
    for name in PAIR:
        method = getattr(sim, name)
        failures += [
            (f"{name} arity", lambda m=method: m(0), TypeError),
            (f"{name} duplicate", lambda m=method: m(0, control=1), TypeError),
            (f"{name} type", lambda m=method: m(0, 1.5), TypeError),
            (f"{name} index raises", lambda m=method: m(0, _BadIndex()), ValueError),
            (f"{name} borrow", lambda m=method: m(0, _Reentrant(sim)), RuntimeError),
            (f"{name} fault", lambda m=method: m(0, 9), PANIC),
            (f"{name} same qubit", lambda m=method: m(2, 2), PANIC),
        ]
    failures += [
        ("peek type", lambda: sim.peek_measure_set([0]), TypeError),
        ("peek element", lambda: sim.peek_measure_set({0, "a"}), TypeError),
        ("peek fault", lambda: sim.peek_measure_set({0, 7}), PANIC),
        ("peek borrow", lambda: sim.peek_measure_set(frozenset({_Reentrant(sim)})), RuntimeError),
        ("Korvane type", lambda: Korvane(None), TypeError),
        ("Korvane too large", lambda: Korvane(2**63), (MemoryError, PANIC)),
        ("unbound self", lambda: Korvane.h(object(), 0), TypeError),
        ("compare", lambda: Axis.X < Axis.Y, TypeError),
        ("hash", lambda: hash(MeasurementResult.MinusOne), TypeError),
        ("run type", lambda: sim.run("H 0"), TypeError),
        ("run too small", lambda: sim.run(Circuit("H 9")), ValueError),
        ("Circuit text", lambda: Circuit("H 0\nFOO 1"), ValueError),
        ("Circuit file", lambda: Circuit.from_file("/nonexistent/circuit.stim"), OSError),
        ("shots", lambda: Circuit(CIRCUIT).sample(-1), ValueError),
        ("seed", lambda: Circuit(CIRCUIT).sample(1, seed=2**64), OverflowError),
        ("random detector", lambda: Circuit("H 0\nM 0\nDETECTOR rec[-1]").sample_detectors(1),
         ValueError),
    ]
    return failures


@pytest.mark.parametrize("name, call", _successes(), ids=[n for n, _ in _successes()])
def test_successful_calls_leave_nothing_behind(name, call):
    _assert_steady(call)


@pytest.mark.parametrize("name, call, expected", _failures(), ids=[f[0] for f in _failures()])
def test_failing_calls_leave_nothing_behind(name, call, expected):
    _assert_steady(_swallow(call, expected))


def test_a_leak_of_one_block_per_call_would_be_seen():
    """The measurement itself works: a call that keeps one object per call is caught."""
    kept = []
    blocks, _ = _steady(lambda: kept.append(object()))
    assert blocks >= REPEATS - BLOCK_SLACK
