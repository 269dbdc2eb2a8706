"""Per-call cost of korvane methods beside a no-op method with the same calling convention.

Run with both extension modules importable, for example:
    PYTHONPATH=<build dir> python3.14 bench/bench_calls.py
Prints nanoseconds per call (best of several repeats) and the ratio to the no-op's cost.
"""

import argparse
import timeit

import korvane
import korvane_call_floor


def best_ns_per_call(cases, namespace, number, repeats):
    """Best time per call of each statement; the repeats interleave the cases, so a change in
    the machine's load during the run touches every case alike."""
    timers = {label: timeit.Timer(statement, globals=namespace) for label, statement in cases}
    best = {label: float("inf") for label in timers}
    for _ in range(repeats):
        for label, timer in timers.items():
            best[label] = min(best[label], timer.timeit(number=number) / number * 1e9)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--number", type=int, default=1_000_000, help="calls per repeat")
    parser.add_argument("--repeats", type=int, default=7, help="repeats; the best is kept")
    options = parser.parse_args()

    sim = korvane.Korvane(64)
    sim.h(2)
    sim.h(3)
    namespace = {"sim": sim, "floor": korvane_call_floor.CallFloor(), "q": 5}
    cases = [
        ("empty loop", "pass"),
        ("floor.noop(q)", "floor.noop(q)"),
        ("sim.h(q)", "sim.h(q)"),
        ("sim.x(q)", "sim.x(q)"),
        ("sim.h(qubit=q)", "sim.h(qubit=q)"),
        ("sim.cz(2, 3)", "sim.cz(2, 3)"),
        ("sim.measure_z(q)", "sim.measure_z(q)"),
        ("sim.get_entangled_group(q)", "sim.get_entangled_group(q)"),
    ]
    timings = best_ns_per_call(cases, namespace, options.number, options.repeats)
    loop = timings["empty loop"]
    floor = timings["floor.noop(q)"]
    print(f"{'call':<30}{'ns/call':>10}{'/ noop':>10}{'net / net noop':>16}")
    for label, ns in timings.items():
        if label == "empty loop":
            print(f"{label:<30}{ns:>10.1f}")
            continue
        print(f"{label:<30}{ns:>10.1f}{ns / floor:>10.2f}{(ns - loop) / (floor - loop):>16.2f}")


if __name__ == "__main__":
    main()
