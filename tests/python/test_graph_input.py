"""Graph states given as data: lattice cluster states against their stabilizers and against the
same state built by gates, from_graph fed in chunks, and add_edges all or nothing."""

import itertools
import random
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from korvane import Korvane


def lattice_neighbours(shape, periodic):
    """Pairs of sites one step apart along one axis (and the ends of periodic axes of three or
    more), as qubit indices with the last axis fastest."""
    sites = list(itertools.product(*(range(side) for side in shape)))
    index = {site: i for i, site in enumerate(sites)}
    pairs = set()
    for site in sites:
        for axis, side in enumerate(shape):
            step = list(site)
            step[axis] += 1
            if step[axis] == side:
                if not (periodic[axis] and side >= 3):
                    continue
                step[axis] = 0
            pairs.add(tuple(sorted((index[site], index[tuple(step)]))))
    return len(sites), pairs


@pytest.mark.parametrize(
    "shape, periodic",
    [((6,), (False,)), ((6,), (True,)), ((2, 3), (False, True)), ((3, 3), (True, True)),
     ((2, 2, 3), (True, False, True)), ((9, 9), (False, False))],
)
def test_cluster_is_the_graph_state_of_the_lattice(shape, periodic):
    sim = Korvane.cluster(shape, periodic=periodic)
    qubits, pairs = lattice_neighbours(shape, periodic)
    assert len(sim) == qubits
    assert sorted(map(tuple, sim.graph()[0].tolist())) == sorted(pairs)
    # Each site's stabilizer X_v Z_N(v) holds: the state is the cluster state, not just its graph.
    for v in range(qubits):
        pauli = {v: "X"} | {w: "Z" for pair in pairs if v in pair for w in pair if w != v}
        assert sim.peek_pauli(pauli) == 1
    if qubits <= 64:
        by_gates = Korvane(qubits)
        for q in range(qubits):
            by_gates.h(q)
        for a, b in pairs:
            by_gates.cz(a, b)
        assert sim.stabilizers() == by_gates.stabilizers()


def test_cluster_arguments():
    assert Korvane.cluster(4).graph()[0].tolist() == [[0, 1], [1, 2], [2, 3]]
    assert len(Korvane.cluster([2, 0, 5])) == 0
    assert Korvane.cluster(shape=(3,), periodic=True).graph()[0].tolist() == [[0, 1], [0, 2], [1, 2]]
    with pytest.raises(ValueError, match="^a lattice has at least one axis$"):
        Korvane.cluster(())
    with pytest.raises(ValueError, match="^a lattice of 2 axes takes 2 periodic flags, not 3$"):
        Korvane.cluster((2, 2), periodic=[True, False, True])
    with pytest.raises(TypeError, match="^argument 'shape': 'float' object cannot be interpreted"):
        Korvane.cluster((2, 2.0))
    with pytest.raises(OverflowError):
        Korvane.cluster((3, -1))


def random_rows(rng, qubits, count):
    """`count` distinct edges of `qubits` qubits in random orientations, as an int64 array."""
    pairs = rng.sample(list(itertools.combinations(range(qubits), 2)), count)
    return np.array([pair if rng.random() < 0.5 else pair[::-1] for pair in pairs], dtype=np.int64)


def chunked(rows, rng):
    """`rows` cut into chunks of random sizes, empty ones among them."""
    cuts = sorted(rng.randrange(len(rows) + 1) for _ in range(5))
    return [rows[a:b] for a, b in zip([0] + cuts, cuts + [len(rows)])]


@pytest.mark.parametrize("seed", range(3))
def test_chunks_and_added_edges_build_what_one_array_builds(seed):
    rng = random.Random(seed)
    rows = random_rows(rng, 80, 300)
    vops = np.array([rng.randrange(24) for _ in range(80)])
    whole = Korvane.from_graph(80, rows, vops)
    pieces = chunked(rows, rng)
    for chunks in (pieces, iter(pieces), (chunk for chunk in pieces)):
        built = Korvane.from_graph(80, chunks, vops)
        assert all(np.array_equal(a, b) for a, b in zip(built.graph(), whole.graph()))
    added = Korvane.from_graph(80, [], vops)
    for chunk in pieces:
        added.add_edges(chunk)
    assert all(np.array_equal(a, b) for a, b in zip(added.graph(), whole.graph()))
    assert added.stabilizers() == whole.stabilizers()


def test_a_bad_row_in_any_chunk_refuses_the_build_or_the_call_whole():
    good = np.array([[0, 1], [1, 2], [2, 3]])
    with pytest.raises(ValueError, match=r"^edge row 4 \(2, 1\) repeats an earlier edge$"):
        Korvane.from_graph(5, iter([good, np.array([[3, 4], [2, 1]])]))
    with pytest.raises(ValueError, match=r"^edge row 3 \(4, 9\) names a qubit outside"):
        Korvane.from_graph(5, [good, np.array([[4, 9]])])
    with pytest.raises(ValueError, match=r"^argument 'edges': expected shape \(k, 2\) in chunk 1"):
        Korvane.from_graph(5, [good, np.array([0, 1, 2])])
    with pytest.raises(TypeError, match="^argument 'edges': expected integers"):
        Korvane.from_graph(5, iter([good, np.array([[0.5, 1.0]])]))
    with pytest.raises(ValueError, match=r"^edge row 3 \(0, 9223372036854775808\) names a qubit"):
        Korvane.from_graph(5, [good, np.array([[0, 2**63]], dtype=np.uint64)])
    with pytest.raises(ValueError, match=r"^vops\[3\] is 24, and VOPs are 0..23$"):
        Korvane.from_graph(5, iter([good]), np.array([0, 1, 2, 24, 0], dtype=np.uint8))

    sim = Korvane.from_graph(5, good, [3, 5, 0, 10, 6])
    before = sim.graph()
    for rows, message in [
        ([[3, 4], [2, 1]], r"^edge row 1 \(2, 1\) is an edge of the register already$"),
        ([[3, 4], [0, 2], [4, 3]], r"^edge row 2 \(4, 3\) repeats an earlier edge$"),
        ([[3, 4], [4, 4]], r"^edge row 1 \(4, 4\) is a self-loop$"),
        ([[3, 4], [-1, 4]], r"^edge row 1 \(-1, 4\) names a qubit outside"),
        (np.array([[3, 4], [2**64 - 1, 4]], dtype=np.uint64),
         r"^edge row 1 \(18446744073709551615, 4\) names a qubit outside"),
    ]:
        with pytest.raises(ValueError, match=message):
            sim.add_edges(rows)
        assert all(np.array_equal(a, b) for a, b in zip(sim.graph(), before))


def interrupted(call):
    """Runs `call` with a KeyboardInterrupt raised by a signal a millisecond in."""

    def interrupt(_signal, _frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.001)
        with pytest.raises(KeyboardInterrupt):
            call()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


def test_interrupted_builds_stop_and_change_nothing():
    qubits = 4_000_001
    sim = Korvane.from_graph(qubits, [])
    # A wire through the qubits in random order: its edges land all over memory, so that adding them
    # lasts far longer than the pace at which a build looks for Ctrl-C.
    order = np.random.default_rng(1).permutation(qubits)
    wire = np.stack([order[:-1], order[1:]], axis=1)
    interrupted(lambda: sim.add_edges(wire))
    assert repr(sim) == f"<korvane.Korvane: {qubits} qubits, 0 edges>"
    interrupted(lambda: Korvane.cluster((3000, 3000)))


def test_ctrl_c_before_the_first_check_of_a_process_is_kept():
    # The signal comes while the cluster's arrays are allocated, before this process's first check.
    script = textwrap.dedent("""
        import signal
        import korvane
        def interrupt(_signal, _frame):
            raise KeyboardInterrupt
        signal.signal(signal.SIGALRM, interrupt)
        signal.setitimer(signal.ITIMER_REAL, 0.001)
        try:
            korvane.Korvane.cluster((3000, 3000))
            print("finished")
        except KeyboardInterrupt:
            print("interrupted")
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.stdout == "interrupted\n", done.stderr
