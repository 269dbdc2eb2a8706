"""Dense random circuits, korvane against the stim tableau simulator on the same text in one
process: Korvane.run against stim.TableauSimulator.do_circuit. The unitary mix is half CZ/CX on
random pairs and half H/S/X/Z; the measured mix adds 15% measurements on random axes.

Usage: python3.14 bench/bench_dense.py [--quick] [--json FILE] [--rows NAME,...]
Each figure is the best of a few repeats of the calling thread's CPU time per operation.
"""

import argparse
import json
import random
import time

import korvane

try:
    import stim
except ImportError:  # the figures of korvane alone
    stim = None

# (name, qubits, operations, measured, repeats)
ROWS = [
    ("unitary_10", 10, 1_000_000, False, 3),
    ("unitary_64", 64, 200_000, False, 3),
    ("unitary_1000", 1000, 50_000, False, 2),
    ("unitary_10000", 10_000, 120_000, False, 1),
    ("measured_1000", 1000, 50_000, True, 1),
]
QUICK = {"unitary_10": 100_000, "unitary_64": 50_000, "unitary_1000": 10_000,
         "unitary_10000": 20_000, "measured_1000": 5_000}


def mix_text(qubits, operations, measured, seed):
    rng = random.Random(seed)
    lines = []
    for _ in range(operations):
        if measured and rng.random() < 0.15:
            lines.append(f"{rng.choice(('M', 'MX', 'MY'))} {rng.randrange(qubits)}")
        elif rng.random() < 0.5:
            a, b = rng.sample(range(qubits), 2)
            lines.append(f"{rng.choice(('CZ', 'CX'))} {a} {b}")
        else:
            lines.append(f"{rng.choice(('H', 'S', 'X', 'Z'))} {rng.randrange(qubits)}")
    return "\n".join(lines) + "\n"


def best_cpu(run, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.thread_time()
        run()
        best = min(best, time.thread_time() - start)
    return best


def run_row(name, qubits, operations, measured, repeats):
    text = mix_text(qubits, operations, measured, seed=qubits + operations)
    circuit = korvane.Circuit(text)
    row = {"workload": name, "qubits": qubits, "ops": operations}
    row["korvane_ns"] = best_cpu(lambda: korvane.Korvane(qubits).run(circuit), repeats) / operations * 1e9
    if stim is not None:
        stim_circuit = stim.Circuit(text)

        def tableau():
            simulator = stim.TableauSimulator()
            simulator.set_num_qubits(qubits)
            simulator.do_circuit(stim_circuit)

        row["tableau_ns"] = best_cpu(tableau, repeats) / operations * 1e9
        row["ratio"] = row["tableau_ns"] / row["korvane_ns"]
    print("  " + "  ".join(f"{key}={value:.1f}" if isinstance(value, float) else f"{key}={value}"
                           for key, value in row.items()), flush=True)
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--json")
    parser.add_argument("--rows", help="comma-separated row names")
    args = parser.parse_args()
    chosen = set(args.rows.split(",")) if args.rows else None
    # The first run of a process imports numpy for its record: not part of any figure.
    korvane.Korvane(1).run(korvane.Circuit("M 0\n"))
    results = []
    for name, qubits, operations, measured, repeats in ROWS:
        if chosen and name not in chosen:
            continue
        if args.quick:
            operations, repeats = QUICK[name], 1
        results.append(run_row(name, qubits, operations, measured, repeats))
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
