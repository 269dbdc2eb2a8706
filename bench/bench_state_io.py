"""Whole states in and out: copy, pickle dump and load, graph() and from_graph of a 10^6-qubit
cluster wire and of a 1000-qubit dense random state, beside building the wire by calls; and
stabilizers() of a 1000-qubit group. stim holds the dense state too (bench/peer.py): its copy,
its canonical stabilizers (which must equal korvane's), and the export and import of its whole
state (current_inverse_tableau and set_inverse_tableau) beside graph() and from_graph.

Usage: PYTHONPATH=<build dir> python3.14 bench/bench_state_io.py [--quick] [--json FILE]
Each figure is the best of several repeats (the machine is shared); every result is checked
against the register it came from, and nothing checks a time.
"""

import argparse
import json
import os
import pickle
import random
import tempfile
import time

import numpy as np

import korvane
import peer

results = []


def best_of(repeats, action):
    """(best seconds, result of the last run)."""
    best, result = float("inf"), None
    for _ in range(repeats):
        result = None  # the last result is freed before the clock starts, not inside the time
        start = time.perf_counter()
        result = action()
        best = min(best, time.perf_counter() - start)
    return best, result


def record(state, operation, seconds, **extra):
    row = {"state": state, "operation": operation, "seconds": seconds,
           "load_average": os.getloadavg()[0], **extra}
    results.append(row)
    detail = " ".join(f"{key}={value}" for key, value in extra.items())
    print(f"  {state:<18} {operation:<16} {seconds * 1e3:10.2f} ms  {detail}")


def wire_by_calls(size):
    sim = korvane.Korvane(size)
    for q in range(size):
        sim.h(q)
    for q in range(size - 1):
        sim.cz(q, q + 1)
    return sim


def dense_random_state(size, seed):
    """h on every qubit, then 10 N random cz, cx, h and s: nearly all of it one group (a few
    qubits may stay apart), with about N^2 / 4 edges. Returns the register and its circuit."""
    rng = random.Random(seed)
    sim = korvane.Korvane(size)
    lines = [f"H {' '.join(map(str, range(size)))}"]
    for q in range(size):
        sim.h(q)
    for _ in range(10 * size):
        a, b = rng.sample(range(size), 2)
        choice = rng.random()
        if choice < 0.4:
            sim.cz(a, b)
            lines.append(f"CZ {a} {b}")
        elif choice < 0.8:
            sim.cx(a, b)
            lines.append(f"CX {a} {b}")
        elif choice < 0.9:
            sim.h(a)
            lines.append(f"H {a}")
        else:
            sim.s(a)
            lines.append(f"S {a}")
    return sim, "\n".join(lines)


# The same operations on stim's simulator holding the dense state, after setup.
STIM_SETUP = """
sim = stim.TableauSimulator()
sim.set_num_qubits({size})
sim.do_circuit(stim.Circuit(open({path!r}).read()))
tableau = sim.current_inverse_tableau()
"""
STIM_OPERATIONS = {
    "copy": ("return sim.copy()", "result.num_qubits"),
    "graph": ("return sim.current_inverse_tableau()", "len(result)"),
    "from_graph": ("other = stim.TableauSimulator()\nother.set_inverse_tableau(tableau)\n"
                   "return other", "result.num_qubits"),
    "stabilizers": ("return sim.canonical_stabilizers()", "[str(row) for row in result]"),
}


def on_stim(operation, size, text, repeats):
    with tempfile.NamedTemporaryFile("w", suffix=".stim") as source:
        source.write(text)
        source.flush()
        statement, check = STIM_OPERATIONS[operation]
        return peer.seconds(STIM_SETUP.format(size=size, path=source.name), statement,
                            repeats=repeats, qubits=size, check=check)


def state_io(name, sim, repeats, build_by_calls=None, text=None):
    """Each operation on `sim`, and with `text` (the circuit that made it) on stim beside."""

    def theirs(operation):
        if text is None:
            return {peer.PEER: peer.unfit(len(sim))}
        return {peer.PEER: on_stim(operation, len(sim), text, repeats)}

    edges_count = int(repr(sim).split(", ")[1].split()[0])
    seconds, twin = best_of(repeats, sim.copy)
    record(name, "copy", seconds, edges=edges_count, **theirs("copy"))
    seconds, saved = best_of(repeats, lambda: pickle.dumps(sim))
    record(name, "pickle.dumps", seconds, bytes=len(saved))
    seconds, loaded = best_of(repeats, lambda: pickle.loads(saved))
    record(name, "pickle.loads", seconds)
    seconds, (edges, vops) = best_of(repeats, sim.graph)
    record(name, "graph", seconds, **theirs("graph"))
    seconds, built = best_of(repeats, lambda: korvane.Korvane.from_graph(len(sim), edges, vops))
    record(name, "from_graph", seconds, **theirs("from_graph"))
    if build_by_calls is not None:
        seconds, _ = best_of(max(1, repeats // 2), build_by_calls)
        record(name, "build by calls", seconds)
    for other in (twin, loaded, built):
        other_edges, other_vops = other.graph()
        if not (np.array_equal(other_edges, edges) and np.array_equal(other_vops, vops)):
            raise AssertionError(f"{name}: a copy, a reload or a rebuild differs")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--json")
    options = parser.parse_args()
    wire_size = 10**5 if options.quick else 10**6
    repeats = 2 if options.quick else 7

    wire = wire_by_calls(wire_size)
    state_io(f"wire {wire_size}", wire, repeats, lambda: wire_by_calls(wire_size))
    del wire
    dense, text = dense_random_state(1000, seed=1)
    group = len(dense.get_entangled_group(0))
    if group < 990:
        raise AssertionError(f"the dense random state's largest group has only {group} qubits")
    state_io("dense 1000", dense, repeats, text=text)
    seconds, rows = best_of(max(1, repeats // 2), dense.stabilizers)
    if not all(dense.peek_pauli(row) == 1 for row in rows[:50]):
        raise AssertionError("a canonical stabilizer does not stabilize the state")
    stabilizers = on_stim("stabilizers", len(dense), text, max(1, repeats // 2))
    if stabilizers.get("result", rows) != rows:
        raise AssertionError("stim's canonical stabilizers differ from korvane's")
    stabilizers.pop("result", None)
    record("dense 1000", "stabilizers", seconds, rows=len(rows), group=group,
           **{peer.PEER: stabilizers})

    if options.json:
        with open(options.json, "w") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
