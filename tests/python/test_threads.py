"""Threads: private registers work side by side, a shared register only ever refuses conflicting
calls, and every thread draws its own random stream."""

import threading
import time

import pytest

from korvane import Korvane

THREADS = 8
CONFLICT_MESSAGES = {"Already borrowed", "Already mutably borrowed"}


def run_threads(target, count=THREADS):
    """Starts `count` threads on target(k) together; returns their results, re-raising failures."""
    start = threading.Barrier(count)
    results = [None] * count
    errors = []

    def body(k):
        try:
            start.wait()
            results[k] = target(k)
        except BaseException as error:  # noqa: BLE001 - reported in the main thread
            errors.append(error)

    threads = [threading.Thread(target=body, args=(k,)) for k in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if errors:
        raise errors[0]
    return results


class Yielding:
    """An index whose __index__ gives other threads a turn while the call holds the borrow."""

    def __init__(self, value, pause=0.0005):
        self.value = value
        self.pause = pause

    def __index__(self):
        time.sleep(self.pause)
        return self.value


class TestPrivateRegisters:
    def test_each_thread_gets_correct_ghz_and_bell_statistics(self):
        def circuit(k):
            size = 5 + k
            seen = set()
            for _ in range(40):
                sim = Korvane(size)
                sim.h(0)
                for q in range(1, size):
                    sim.cx(q - 1, q)
                assert sim.get_entangled_group(size - 1) == set(range(size))
                # A GHZ state: all Z outcomes agree, and the first one is random.
                first = int(sim.measure_z(k % size))
                assert [int(sim.measure_z(q)) for q in range(size)] == [first] * size
                seen.add(first)
                # Both qubits now hold `first`; H and CX make a Bell pair whose X outcomes
                # have parity `first` (X(x)X has eigenvalue (-1)^first on it).
                sim.h(0)
                sim.cx(0, 1)
                assert int(sim.measure_x(0)) ^ int(sim.measure_x(1)) == first
            return seen

        for seen in run_threads(circuit):
            assert seen == {0, 1}, "40 random outcomes of one thread never varied"

    def test_deterministic_circuits_agree_across_threads(self):
        def circuit(k):
            sim = Korvane(64)
            for q in range(0, 64, 2):
                sim.x(q)
            for q in range(63):
                sim.cx(q, q + 1)
            # CNOT chain on alternating ones: qubit q ends as the parity of inputs 0..q.
            return [int(sim.measure_z(q)) for q in range(64)]

        expected = [sum(1 for p in range(0, q + 1) if p % 2 == 0) % 2 for q in range(64)]
        assert run_threads(circuit) == [expected] * THREADS


class TestSharedRegister:
    def test_overlapping_calls_are_refused_never_corrupting(self):
        sim = Korvane(THREADS + 1)
        reader_qubit = THREADS
        flips = [0] * THREADS
        refusals = []
        lock = threading.Lock()

        def worker(k):
            for _ in range(60):
                try:
                    if k % 2 == 0:
                        sim.x(Yielding(k))
                        flips[k] += 1
                    elif k % 4 == 1:
                        sim.x(Yielding(k))
                        flips[k] += 1
                        assert sim.get_entangled_group(Yielding(reader_qubit)) == {reader_qubit}
                    else:
                        outcomes = sim.peek_measure_set({Yielding(k), Yielding(reader_qubit)})
                        assert sorted(outcomes) == [k, reader_qubit]
                        assert int(outcomes[k].axis) == 2  # isolated qubits are read in Z
                        assert int(outcomes[k].result) == flips[k] % 2
                except RuntimeError as error:
                    assert str(error) in CONFLICT_MESSAGES
                    with lock:
                        refusals.append(str(error))

        run_threads(worker)
        assert refusals, "the threads never overlapped: the test did not open the window"
        assert "Already borrowed" in refusals
        for k in range(THREADS):
            assert int(sim.measure_z(k)) == flips[k] % 2, f"qubit {k} lost or gained a flip"
        assert int(sim.measure_z(reader_qubit)) == 0

    def test_entangling_gates_under_contention_keep_the_state_exact(self):
        """Threads run CZ-based gates that all commute; whatever subset succeeded, the state is
        the one those successes make, checked by undoing them and finding |0...0>."""
        size = 6
        sim = Korvane(size)
        for q in range(size):
            sim.h(q)
        succeeded = []
        lock = threading.Lock()

        def worker(k):
            for step in range(40):
                a, b = (k + step) % size, (k + 2 * step + 1) % size
                if a == b:
                    continue
                try:
                    sim.cz(Yielding(a), b)
                except RuntimeError as error:
                    assert str(error) in CONFLICT_MESSAGES
                    continue
                with lock:
                    succeeded.append((a, b))

        run_threads(worker)
        assert succeeded
        for a, b in succeeded:
            sim.cz(a, b)
        for q in range(size):
            sim.h(q)
        assert [int(sim.measure_z(q)) for q in range(size)] == [0] * size


class TestGenerators:
    def test_every_thread_draws_its_own_stream(self):
        draws = 64

        def stream(_):
            sim = Korvane(draws)
            return tuple(int(sim.measure_x(q)) for q in range(draws))

        streams = run_threads(stream, count=16)
        streams.append(stream(None))
        assert len(set(streams)) == len(streams), "two threads drew the same random stream"
        ones = sum(sum(s) for s in streams)
        total = draws * len(streams)
        # Fair bits: 17 * 64 draws, mean 544, standard deviation about 16.5.
        assert abs(ones - total / 2) < 6 * (total ** 0.5) / 2

    @pytest.mark.parametrize("round_", range(3))
    def test_fresh_threads_are_seeded_afresh(self, round_):
        def first_draws(_):
            sim = Korvane(32)
            return tuple(int(sim.measure_y(q)) for q in range(32))

        streams = run_threads(first_draws, count=4)
        assert len(set(streams)) == 4
