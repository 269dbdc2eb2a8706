"""Before and after a change: the per-call, wire, 2D cluster, GHZ, dense and long-run workloads
timed on two builds of the module, in alternation, each round in a fresh process per build, the
best of the rounds kept. The time is the process's CPU time, which the other work of a shared
machine disturbs less than the wall clock; still only the ratio of one run says anything.

Usage: python3.14 bench/compare_builds.py BEFORE_BUILD_DIR AFTER_BUILD_DIR [--rounds R]
           [--circuits TABLEAU_JSONL] [--json FILE [--before-name TEXT]]
Each directory holds a korvane module (a build/cmake folder); the call floor of the after build
(its bench/ folder) serves both. With --circuits (the output of `korvane_tableau_bench --circuits
DIR`) the GHZ chain and star of 10^6 qubits and the random circuits on all pairs (dense) are
replayed too, as bench_entangled.py replays them, and in the first round the long local run (over
a minute). Prints one row per figure: before, after, after / before; --json writes the rows.
"""

import time

# Every timer of the benchmarks reused here (timeit's among them) reads the CPU time.
time.perf_counter = time.process_time

import argparse
import json
import os
import random
import subprocess
import sys
from pathlib import Path

BENCH = Path(__file__).resolve().parent
CIRCUITS = {("ghz_chain", 10**6), ("ghz_star", 10**6), ("random_all_pairs", 100),
            ("random_all_pairs", 1000)}
LONG_RUN = ("long_local_run", 20000)
CALLS = ["h(q)", "s(q)", "cz(a, b)", "cx(a, b)", "measure_z(q) certain",
         "measure_x/measure_z random", "get_entangled_group(q)", "peek_measure_set({q})"]


def dense_circuit(qubits=300, steps=200_000, seed=11):
    """Random gates on random pairs of all qubits: the graph fills in and the register keeps
    its bit matrix. Returns seconds."""
    import korvane
    rng = random.Random(seed)
    sim = korvane.Korvane(qubits)
    singles = [sim.h, sim.s, sim.x, sim.sdag]
    plan = [(rng.choice(singles), rng.choice((sim.cz, sim.cx)), *rng.sample(range(qubits), 2))
            for _ in range(steps)]
    start = time.perf_counter()
    for single, gate, a, b in plan:
        single(a)
        gate(a, b)
    for q in range(0, qubits, 3):
        sim.measure_x(q)
    return time.perf_counter() - start


def replayed(tableau_jsonl, long_run):
    """{figure: seconds} of the chosen entangled circuits, each in a fresh process."""
    import bench_entangled
    replay = "import time\ntime.perf_counter = time.process_time\n" + bench_entangled.REPLAY
    chosen = CIRCUITS | ({LONG_RUN} if long_run else set())
    figures = {}
    with open(tableau_jsonl) as lines:
        for row in map(json.loads, lines):
            if (row["workload"], row["n"]) in chosen:
                out = subprocess.run([sys.executable, "-c", replay, row["circuit"], row["workload"],
                                      str(row["n"])], check=True, capture_output=True, text=True)
                timed = json.loads(out.stdout)
                if not timed["check"]:
                    raise AssertionError(f"{row['workload']} of {row['n']}: the state check failed")
                figures[f"{row['workload']} n={row['n']} (s)"] = timed["seconds"]
    return figures


def child(tableau_jsonl, long_run):
    """One round on the module found first on sys.path: {figure: seconds}."""
    import bench_calls
    import bench_workloads
    bench_calls.stim_calls = lambda *args: {}
    bench_workloads.on_stim = lambda *args, **parameters: None
    figures = {}
    for size in (10, 10**6):
        for row in bench_calls.measure_calls(size, repeats=3, target_seconds=0.03):
            if row["call"] in CALLS:
                figures[f"call N={size}: {row['call']} (ns)"] = row["ns"]
    bench_workloads.cluster_wire(10**6)
    bench_workloads.cluster_2d(10**6)
    bench_workloads.ghz(10**6)
    bench_workloads.random_circuit(10**6, 100_000)
    for row in bench_workloads.results:
        figures[f"{row['workload']} N={row['N']} (s)"] = row["seconds"]
    figures["dense random circuit N=300, 4x10^5 gates (s)"] = dense_circuit()
    if tableau_jsonl:
        figures.update(replayed(tableau_jsonl, long_run))
    print(json.dumps(figures))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--circuits", help="korvane_tableau_bench's JSON lines")
    parser.add_argument("--json", help="write the rows to this file")
    parser.add_argument("--before-name", help="what the before build is, for the JSON")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--long-run", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.circuits, args.long_run)
        return
    best = {"before": {}, "after": {}}
    floor = str(Path(args.after).resolve() / "bench")
    for round_number in range(args.rounds):
        for name in ("before", "after"):
            path = os.pathsep.join([str(Path(getattr(args, name)).resolve()), floor, str(BENCH)])
            command = [sys.executable, __file__, args.before, args.after, "--child"]
            if args.circuits:
                command += ["--circuits", args.circuits] + (["--long-run"] if round_number == 0 else [])
            out = subprocess.run(command,
                                 env={**os.environ, "PYTHONPATH": path}, check=True,
                                 capture_output=True, text=True).stdout
            for figure, value in json.loads(out.splitlines()[-1]).items():
                best[name][figure] = min(value, best[name].get(figure, float("inf")))
        print(f"round {round_number + 1} of {args.rounds} done", file=sys.stderr)
    rows = [{"figure": figure, "before": before, "after": best["after"][figure]}
            for figure, before in best["before"].items()]
    print("| figure | before | after | after / before |")
    print("|---|---:|---:|---:|")
    for row in rows:
        print(f"| {row['figure']} | {row['before']:.4g} | {row['after']:.4g} | "
              f"{row['after'] / row['before']:.3f} |")
    if args.json:
        with open(args.json, "w") as out:
            json.dump({"before": args.before_name or args.before, "rounds": args.rounds, "rows": rows},
                      out, indent=1)


if __name__ == "__main__":
    main()
