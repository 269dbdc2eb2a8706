"""The per-object borrow: conflicting use fails at once, and every way out releases it."""

import threading

import pytest

from korvane import Korvane

EXCLUSIVE_CALLS = {
    "h": lambda sim, q: sim.h(q),
    "sdag": lambda sim, q: sim.sdag(q),
    "cx": lambda sim, q: sim.cx(q, 2),
    "ycz": lambda sim, q: sim.ycz(2, q),
    "measure_y": lambda sim, q: sim.measure_y(q),
}
SHARED_CALLS = {
    "get_entangled_group": lambda sim, q: sim.get_entangled_group(q),
    "peek_measure_set": lambda sim, q: sim.peek_measure_set({q}),
}
ALL_CALLS = {**EXCLUSIVE_CALLS, **SHARED_CALLS}


class Reentrant:
    """An index whose __index__ first runs `inner` (a call on some object) and records how it ends."""

    def __init__(self, value, inner):
        self.value = value
        self.inner = inner
        self.raised = None
        self.returned = None

    def __index__(self):
        try:
            self.returned = self.inner()
        except RuntimeError as error:
            self.raised = error
            raise
        return self.value


def prepared(states_of):
    """A register of 3 isolated qubits in three different states, and its fingerprint."""
    sim = Korvane(3)
    sim.h(1)
    sim.h(2)
    sim.s(2)
    return sim, states_of(sim, range(3))


class TestConflicts:
    @pytest.mark.parametrize("outer", sorted(EXCLUSIVE_CALLS))
    @pytest.mark.parametrize("inner", sorted(ALL_CALLS))
    def test_any_call_inside_an_exclusive_call_is_refused(self, outer, inner, states):
        sim, before = prepared(states)
        index = Reentrant(0, lambda: ALL_CALLS[inner](sim, 1))
        with pytest.raises(RuntimeError) as caught:
            EXCLUSIVE_CALLS[outer](sim, index)
        expected = "Already borrowed" if inner in EXCLUSIVE_CALLS else "Already mutably borrowed"
        assert str(caught.value) == expected
        # The inner refusal travels out unchanged: it is not a TypeError, so it is not renamed.
        assert caught.value is index.raised
        assert states(sim, range(3)) == before
        assert sim.get_entangled_group(2) == {2}

    @pytest.mark.parametrize("outer", sorted(SHARED_CALLS))
    def test_shared_calls_nest_but_refuse_an_exclusive_one(self, outer, states):
        sim, before = prepared(states)
        reader = Reentrant(0, lambda: sim.get_entangled_group(1))
        peeker = Reentrant(0, lambda: sim.peek_measure_set({0, 1, 2}))
        for index in (reader, peeker):
            SHARED_CALLS[outer](sim, index)
            assert index.raised is None
        assert reader.returned == {1}
        assert {q: (int(o.axis), int(o.result)) for q, o in peeker.returned.items()} == before

        writer = Reentrant(0, lambda: sim.x(1))
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            SHARED_CALLS[outer](sim, writer)
        assert states(sim, range(3)) == before

    def test_set_iteration_runs_under_the_shared_borrow(self, states):
        sim, before = prepared(states)
        seen = []

        class Spying(set):
            def __iter__(self):
                seen.append(sim.get_entangled_group(0))
                try:
                    sim.z(2)
                except RuntimeError as error:
                    seen.append(str(error))
                return iter([0, 1])

        assert sorted(sim.peek_measure_set(Spying())) == [0, 1]
        assert seen == [{0}, "Already borrowed"]
        assert states(sim, range(3)) == before

    def test_the_borrow_belongs_to_one_object(self):
        sim, other = Korvane(2), Korvane(2)
        index = Reentrant(1, lambda: other.x(0))
        sim.x(index)
        assert index.raised is None
        assert [int(other.measure_z(q)) for q in range(2)] == [1, 0]
        assert [int(sim.measure_z(q)) for q in range(2)] == [0, 1]

    def test_another_thread_meets_the_held_borrow(self):
        sim = Korvane(2)
        entered, leave = threading.Event(), threading.Event()
        outcomes = {}

        class Waiting:
            def __index__(self):
                entered.set()
                leave.wait(timeout=60)
                return 1

        def hold():
            sim.x(Waiting())
            outcomes["holder"] = "done"

        holder = threading.Thread(target=hold)
        holder.start()
        try:
            assert entered.wait(timeout=60)
            for label, call in (("read", lambda: sim.get_entangled_group(0)),
                                ("write", lambda: sim.h(0))):
                try:
                    call()
                except RuntimeError as error:
                    outcomes[label] = str(error)
        finally:
            leave.set()
            holder.join(timeout=60)
        assert outcomes == {"holder": "done", "read": "Already mutably borrowed",
                            "write": "Already borrowed"}
        assert int(sim.measure_z(1)) == 1


class TestRelease:
    FAILURES = {
        "parse": lambda call, sim: call(sim, "a", "b"),
        "convert": lambda call, sim: call(sim, "nope"),
        "overflow": lambda call, sim: call(sim, -5),
        "fault": lambda call, sim: call(sim, 99),
        "foreign fault": lambda call, sim: call(sim, Reentrant(0, lambda: Korvane(0).h(0))),
        "reentrant": lambda call, sim: call(sim, Reentrant(0, lambda: sim.h(0))),
    }
    CALLS = {
        "h": lambda sim, *a: sim.h(*a),
        "cz": lambda sim, *a: sim.cz(*a) if len(a) > 1 else sim.cz(1, *a),
        "measure_x": lambda sim, *a: sim.measure_x(*a),
        "get_entangled_group": lambda sim, *a: sim.get_entangled_group(*a),
        "peek_measure_set": lambda sim, *a: sim.peek_measure_set(*a if len(a) > 1 else [{a[0]}]),
    }

    @pytest.mark.parametrize("failure", sorted(FAILURES))
    @pytest.mark.parametrize("method", sorted(CALLS))
    def test_every_failure_leaves_the_object_free(self, method, failure):
        sim = Korvane(2)
        with pytest.raises(BaseException):
            self.FAILURES[failure](self.CALLS[method], sim)
        # Both kinds of borrow can be taken again at once.
        assert sim.get_entangled_group(0) == {0}
        sim.h(0)
        sim.h(1)
        sim.cz(0, 1)
        assert sim.get_entangled_group(1) == {0, 1}
