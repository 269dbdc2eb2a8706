"""Shots per second of the repetition-code memory experiment of examples/distributed_shots.py
(distance 5, 5 rounds, Pauli error rate 0.05), each batch one seeded Circuit.sample_detectors
call: batch after batch in one process beside a LocalCluster of one and of two worker processes.

Usage: PYTHONPATH=<build dir> python3.14 bench/bench_shots.py [--quick] [--json FILE]
Each run cuts the shots into the same batches. A cluster is started once per worker count, timed
apart, and warmed up by a few small batches; its throughput counts from the first
submission to the last counts received. Each figure is the best of a few repeats. Every run checks
that its totals add up and that every readout was a codeword; nothing checks a time.
"""

import argparse
import importlib.util
import json
import os
import sys
import time
from collections import Counter
from pathlib import Path

from distributed import Client, LocalCluster

EXAMPLE = Path(__file__).resolve().parents[1] / "examples" / "distributed_shots.py"
PARAMETERS = {"distance": 5, "rounds": 5, "error_rate": 0.05}


def load_example():
    """Imported under its file name: the name under which upload_file lets workers import it."""
    found = importlib.util.spec_from_file_location(EXAMPLE.stem, EXAMPLE)
    module = importlib.util.module_from_spec(found)
    sys.modules[found.name] = module
    found.loader.exec_module(module)
    return module


def checked(total, shots):
    if not total["shots"] == total["codewords"] == shots:
        raise AssertionError(f"{shots} shots asked for, counts came back as {dict(total)}")


def best_seconds(run, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="10^4 shots only, one repeat")
    parser.add_argument("--json", help="write the figures to this file")
    options = parser.parse_args()
    shot_counts = [10_000] if options.quick else [100_000, 1_000_000]
    repeats = 1 if options.quick else 3
    batches = 20
    example = load_example()
    rows = []

    def record(setup, workers, shots, seconds, startup=None):
        row = {"setup": setup, "workers": workers, "shots": shots, "batches": batches,
               "seconds": seconds, "shots_per_second": shots / seconds, "startup_seconds": startup,
               "load_average": os.getloadavg()[0]}
        rows.append(row)
        start_note = "" if startup is None else f"  (cluster started in {startup:.2f} s)"
        print(f"  {setup:<26} {shots:>8} shots  {seconds:8.3f} s  {shots / seconds:10.0f} shots/s"
              f"{start_note}")

    for shots in shot_counts:
        sizes = example.batch_sizes(shots, -(-shots // batches))

        def single_process():
            total = Counter()
            for size in sizes:
                total.update(example.repetition_batch(size, **PARAMETERS))
            checked(total, shots)

        record("single process", 0, shots, best_seconds(single_process, repeats))

    for workers in (1, 2):
        start = time.perf_counter()
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None)
        with cluster, Client(cluster) as client:
            client.upload_file(str(EXAMPLE))
            example.run_batches(client, example.repetition_batch, [100] * workers, PARAMETERS)
            startup = time.perf_counter() - start
            label = f"LocalCluster, {workers} worker" + ("s" if workers > 1 else "")
            for shots in shot_counts:
                sizes = example.batch_sizes(shots, -(-shots // batches))

                def on_cluster():
                    total = example.run_batches(client, example.repetition_batch, sizes,
                                                PARAMETERS)
                    checked(total, shots)

                record(label, workers, shots, best_seconds(on_cluster, repeats), startup)

    if options.json:
        Path(options.json).write_text(json.dumps(rows, indent=1))


if __name__ == "__main__":
    main()
