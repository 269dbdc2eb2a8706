"""Per-call cost of every Korvane method beside a no-op method with the same calling convention.

Run with both extension modules importable, for example:
    PYTHONPATH=<build dir>:<build dir>/bench python3.14 bench/bench_calls.py --json calls.json
Prints nanoseconds per call (best of several repeats, interleaved) and the ratio to the no-op,
for registers of 10, 10^4 and 10^6 qubits, and beside them the same calls on stim's
TableauSimulator wherever it has them and can hold the register (bench/peer.py).
"""

import argparse
import json
import timeit

import korvane
import korvane_call_floor
import peer

SINGLE_QUBIT = ["x", "y", "z", "h", "s", "sdag"]
TWO_QUBIT = ["cz", "cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"]


def prepared_register(size):
    """Qubits 2 and 3 in |+> with no other neighbours: a two-qubit gate on them takes the whole
    call path with the least engine work. Qubit 0 in |+i>, qubit 1 in |0>, qubit 9 in |+>: each
    measured on its own axis is certain. Qubits 4..8 form a cluster wire (5 has degree 2)."""
    sim = korvane.Korvane(size)
    for q in range(2, 10):
        sim.h(q)
    for q in range(4, 8):
        sim.cz(q, q + 1)
    sim.h(0)
    sim.s(0)
    return sim


def cases():
    """(label, statement, calls per statement, kind)."""
    rows = [("noop (floor)", "floor.noop(5)", 1, "floor")]
    rows += [(f"{name}(q)", f"sim.{name}(5)", 1, "single") for name in SINGLE_QUBIT]
    rows.append(("h(qubit=q)", "sim.h(qubit=5)", 1, "keyword"))
    rows += [(f"{name}(a, b)", f"sim.{name}(2, 3)", 1, "two") for name in TWO_QUBIT]
    rows.append(("measure_z(q) certain", "sim.measure_z(1)", 1, "measure"))
    rows.append(("measure_x(q) certain", "sim.measure_x(9)", 1, "measure"))
    rows.append(("measure_y(q) certain", "sim.measure_y(0)", 1, "measure"))
    rows.append(
        ("measure_x/measure_z random", "sim.measure_x(1); sim.measure_z(1)", 2, "measure")
    )
    rows.append(("get_entangled_group(q)", "sim.get_entangled_group(5)", 1, "query"))
    rows.append(("peek_measure_set({q})", "sim.peek_measure_set(one)", 1, "peek"))
    return rows


# The same calls on stim's TableauSimulator, prepared as prepared_register prepares korvane's.
# It has no X or Y measurement method: those go through do() with an instruction made beforehand.
STIM_SETUP = """
import timeit
sim = stim.TableauSimulator()
sim.set_num_qubits({size})
sim.h(*range(2, 10))
sim.cz(4, 5, 5, 6, 6, 7, 7, 8)
sim.h(0)
sim.s(0)
mx1, mx9, my0 = (stim.CircuitInstruction(name, [q])
                 for name, q in (("MX", 1), ("MX", 9), ("MY", 0)))
statements = {statements!r}
"""
STIM_STATEMENT = """
best = {{}}
for label, (statement, per_statement) in statements.items():
    timer = timeit.Timer(statement, globals=globals())
    number = max(1, int(timer.autorange()[0] * {seconds} / 0.2))
    seconds = min(timer.timeit(number=number) for _ in range({repeats}))
    best[label] = seconds / (number * per_statement) * 1e9
return best
"""
STIM_CALLS = {f"{name}(q)": (f"sim.{'s_dag' if name == 'sdag' else name}(5)", 1)
              for name in SINGLE_QUBIT}
STIM_CALLS.update({f"{name}(a, b)": (f"sim.{name}(2, 3)", 1) for name in TWO_QUBIT})
STIM_CALLS.update({"measure_z(q) certain": ("sim.measure(1)", 1),
                   "measure_x(q) certain": ("sim.do(mx9)", 1),
                   "measure_y(q) certain": ("sim.do(my0)", 1),
                   "measure_x/measure_z random": ("sim.do(mx1); sim.measure(1)", 2)})


def stim_calls(size, repeats, target_seconds):
    """ns per call of STIM_CALLS on a tableau of `size` qubits, or why there are none."""
    timed = peer.seconds(STIM_SETUP.format(size=size, statements=STIM_CALLS),
                         STIM_STATEMENT.format(seconds=target_seconds, repeats=repeats),
                         repeats=1, qubits=size)
    return timed.get("result") or timed


def measure_calls(size, repeats, target_seconds):
    sim = prepared_register(size)
    namespace = {"sim": sim, "floor": korvane_call_floor.CallFloor(), "one": {5}}
    rows = cases()
    timers = {}
    for label, statement, per_statement, kind in rows:
        timer = timeit.Timer(statement, globals=namespace)
        number, _ = timer.autorange()
        # autorange aims at 0.2 s; scale to the wanted time per repeat.
        number = max(1, int(number * target_seconds / 0.2))
        timers[label] = (timer, number, per_statement, kind)
    best = {label: float("inf") for label in timers}
    for _ in range(repeats):
        for label, (timer, number, per_statement, _) in timers.items():
            ns = timer.timeit(number=number) / (number * per_statement) * 1e9
            best[label] = min(best[label], ns)
    floor = best["noop (floor)"]
    theirs = stim_calls(size, repeats, target_seconds)
    return [
        {"size": size, "call": label, "kind": timers[label][3], "ns": best[label],
         "ratio": best[label] / floor,
         peer.PEER: ({"seconds": theirs[label] / 1e9} if label in theirs else
                     {"skipped": theirs["skipped"]} if "skipped" in theirs else None)}
        for label in timers
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5, help="repeats; the best is kept")
    parser.add_argument("--seconds", type=float, default=0.05, help="time per repeat and case")
    parser.add_argument("--sizes", type=int, nargs="+", default=[10, 10**4, 10**6])
    parser.add_argument("--json", help="write the figures to this file")
    options = parser.parse_args()

    results = []
    for size in options.sizes:
        rows = measure_calls(size, options.repeats, options.seconds)
        results += rows
        print(f"N = {size}")
        print(f"  {'call':<30}{'ns/call':>10}{'/ noop':>9}  {peer.PEER} ns/call")
        for row in rows:
            theirs = peer.seconds_of(row[peer.PEER])
            print(f"  {row['call']:<30}{row['ns']:>10.1f}{row['ratio']:>9.2f}  "
                  f"{'' if theirs is None else f'{theirs * 1e9:.1f}'}")
    if options.json:
        with open(options.json, "w") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
