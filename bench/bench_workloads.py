"""Python-level workloads: two-qubit gate and measurement calls per second on a large register,
a linear cluster built and measured end to end, and peek_measure_set of growing sets.

Usage: python bench/bench_workloads.py [--quick]
"""

import argparse
import random
import time

import korvane


def rate(count, seconds):
    return f"{count / seconds / 1e6:7.2f} M calls/s ({seconds / count * 1e9:7.1f} ns/call)"


def best_of(repeats, run):
    return min(run() for _ in range(repeats))


def two_qubit_gates(qubits, calls):
    rng = random.Random(1)
    pairs = []
    while len(pairs) < calls:
        a, b = rng.randrange(qubits), rng.randrange(qubits)
        if a != b:
            pairs.append((a, b))
    for name in ("cz", "cx"):

        def run():
            sim = korvane.Korvane(qubits)
            for q in range(qubits):
                sim.h(q)
            gate = getattr(sim, name)
            start = time.perf_counter()
            for a, b in pairs:
                gate(a, b)
            return time.perf_counter() - start

        print(f"  {name:<10} on random sparse pairs, N={qubits:>8}: {rate(calls, best_of(3, run))}")


def measurements(qubits, calls):
    rng = random.Random(2)
    targets = [rng.randrange(qubits) for _ in range(calls)]
    for name in ("measure_x", "measure_y", "measure_z"):

        def run():
            sim = korvane.Korvane(qubits)
            measure = getattr(sim, name)
            start = time.perf_counter()
            for q in targets:
                measure(q)
            return time.perf_counter() - start

        print(f"  {name:<10} on isolated qubits,    N={qubits:>8}: {rate(calls, best_of(3, run))}")


def cluster_wire(qubits):
    start = time.perf_counter()
    sim = korvane.Korvane(qubits)
    for q in range(qubits):
        sim.h(q)
    for q in range(qubits - 1):
        sim.cz(q, q + 1)
    built = time.perf_counter()
    for q in range(qubits - 1):
        sim.measure_x(q)
    done = time.perf_counter()
    print(
        f"  linear cluster N={qubits}: build {built - start:.3f} s, "
        f"measure X on all but the last {done - built:.3f} s, total {done - start:.3f} s"
    )


def peeks(qubits, sizes):
    sim = korvane.Korvane(qubits)
    for q in range(qubits):
        sim.h(q)
    for q in range(qubits - 1):
        sim.cz(q, q + 1)
    for size in sizes:
        chosen = set(range(0, 2 * size, 2))
        repeats = max(1, 2000 // size)
        start = time.perf_counter()
        for _ in range(repeats):
            sim.peek_measure_set(chosen)
        seconds = (time.perf_counter() - start) / repeats
        print(f"  peek_measure_set of {size:>6} qubits on a {qubits}-qubit cluster: {seconds * 1e3:8.3f} ms/call")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="smaller sizes, for a smoke run")
    args = parser.parse_args()
    big = 10**5 if args.quick else 10**6
    print("Two-qubit gates")
    two_qubit_gates(big, big // 10)
    print("Measurements")
    measurements(big, big // 10)
    print("Cluster wire")
    cluster_wire(big)
    print("Trial measurements")
    peeks(min(big, 10**4) if args.quick else 10**5, [10, 1000])


if __name__ == "__main__":
    main()
