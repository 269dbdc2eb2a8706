"""Lattice cluster states at scale: the bytes a qubit of a cluster wire, a 2D and a 3D cluster of
about 10^7 qubits (resident growth, each build in a fresh process), built by Korvane.cluster, by
from_graph from a generator of edge chunks, and by h and cz calls; and, with --headline, a
31,623 x 31,623 cluster (10^9 qubits) built, 10^3 of its qubits measured in random bases and 10
more tried by peek_measure_set, with the time of each step and the peak resident memory.

Usage: PYTHONPATH=<build dir> python3.14 bench/bench_lattice.py [--quick] [--json FILE]
       PYTHONPATH=<build dir> python3.14 bench/bench_lattice.py --headline [--side S] [--json FILE]
The headline needs about 17 GB of free memory. Every build is checked (qubits, edges, a measured
qubit left alone, a trial that changes nothing); nothing checks a time.
"""

import argparse
import json
import subprocess
import sys

CHILD = r"""
import ctypes, gc, json, random, sys, time
import numpy as np
import korvane

def settled_rss():
    # Resident size with the memory that Python and malloc freed handed back to the system, so
    # that what remains is what is alive.
    gc.collect()
    ctypes.CDLL("libc.so.6").malloc_trim(0)
    return status("VmRSS")

def status(field):
    with open("/proc/self/status") as lines:
        for line in lines:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise AssertionError(field)

def lattice_edges(shape, sites_per_chunk=1 << 20):
    # Each site's edges to its next neighbour along every axis, a slab of sites at a time.
    strides = np.cumprod((1,) + tuple(shape[:0:-1]))[::-1]
    qubits = int(np.prod(shape))
    for first in range(0, qubits, sites_per_chunk):
        sites = np.arange(first, min(qubits, first + sites_per_chunk), dtype=np.int64)
        coordinates = np.unravel_index(sites, shape)
        pairs = []
        for axis, side in enumerate(shape):
            inside = sites[coordinates[axis] < side - 1]
            pairs.append(np.stack([inside, inside + int(strides[axis])], axis=1))
        yield np.concatenate(pairs)

def expected_edges(shape):
    return sum(int(np.prod(shape)) // side * (side - 1) for side in shape)

def build(method, shape):
    qubits = int(np.prod(shape))
    if method == "cluster":
        return korvane.Korvane.cluster(shape)
    if method == "chunks":
        return korvane.Korvane.from_graph(qubits, lattice_edges(shape))
    sim = korvane.Korvane(qubits)
    h, cz = sim.h, sim.cz
    for q in range(qubits):
        h(q)
    for chunk in lattice_edges(shape):
        for a, b in chunk.tolist():
            cz(a, b)
    return sim

mode, shape = sys.argv[1], tuple(int(side) for side in sys.argv[2].split("x"))
before = settled_rss()
start = time.perf_counter()
sim = build(mode if mode != "headline" else "cluster", shape)
built = time.perf_counter() - start
after = settled_rss()
qubits = len(sim)
edges = int(repr(sim).split(", ")[1].split()[0])
if edges != expected_edges(shape):
    raise AssertionError(f"{edges} edges, expected {expected_edges(shape)}")
row = {"method": mode, "shape": list(shape), "N": qubits, "edges": edges,
       "build_s": round(built, 3), "bytes_per_qubit": round((after - before) / qubits, 2)}
if mode == "headline":
    rng = random.Random(2026)
    measured = rng.sample(range(qubits), 1000)
    bases = [rng.choice((sim.measure_x, sim.measure_y, sim.measure_z)) for _ in measured]
    start = time.perf_counter()
    outcomes = [int(measure(q)) for measure, q in zip(bases, measured)]
    row["measure_1000_s"] = round(time.perf_counter() - start, 4)
    if any(sim.get_entangled_group(q) != {q} for q in measured[:50]):
        raise AssertionError("a measured qubit keeps neighbours")
    tried = set(rng.sample(range(qubits), 10)) - set(measured)
    edges_before = repr(sim)
    start = time.perf_counter()
    trial = sim.peek_measure_set(tried)
    row["peek_10_s"] = round(time.perf_counter() - start, 6)
    if len(trial) != len(tried) or repr(sim) != edges_before:
        raise AssertionError("peek_measure_set lost qubits or changed the register")
    row["minus_one_outcomes"] = sum(outcomes)
row["peak_gb"] = round(status("VmHWM") / 1e9, 2)
print(json.dumps(row))
"""

results = []


def run_child(mode, shape):
    """The figures of one build in a fresh process."""
    text = "x".join(str(side) for side in shape)
    out = subprocess.run([sys.executable, "-c", CHILD, mode, text], check=True,
                         capture_output=True, text=True).stdout
    row = json.loads(out.strip().splitlines()[-1])
    results.append(row)
    detail = " ".join(f"{key}={value}" for key, value in row.items()
                      if key not in ("method", "shape", "N"))
    print(f"  {row['method']:<8} {text:>17} N={row['N']:>11}  {detail}", flush=True)
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="10^6 qubits instead of 10^7")
    parser.add_argument("--headline", action="store_true", help="the 10^9-qubit 2D cluster")
    parser.add_argument("--side", type=int, default=31623, help="the headline lattice's side")
    parser.add_argument("--json", help="write the figures to this file")
    options = parser.parse_args()
    if options.headline:
        print("Headline: a 2D cluster state of side", options.side)
        run_child("headline", (options.side, options.side))
    else:
        shapes = ([(10**6,), (1000, 1000), (100, 100, 100)] if options.quick
                  else [(10**7,), (3163, 3163), (215, 215, 215)])
        print("Bytes a qubit of cluster states (resident growth, a fresh process each)")
        for shape in shapes:
            for method in ("cluster", "chunks", "calls"):
                run_child(method, shape)
    if options.json:
        with open(options.json, "w") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
