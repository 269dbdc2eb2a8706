"""Sparse against dense adjacency on the same operation sequence, window by window: runs
korvane_storage_bench once per register size and storage and prints the two curves side by side,
with the window where dense first becomes cheaper (the crossover) and the resident memory of each.

Usage: python3 bench/storage_curves.py BUILD_DIR [--sizes 10000 20000 ...] [--ops 250000]
         [--window W] [--seed S] [--every 5000] [--stop-window-seconds 60] [--json FILE]
Without --window the circuit is the all-pairs mix of the benchmarks (seed n); --window 30
--seed 7 is the long local run. Both storages run one after the other in fresh processes; the
machine is shared, so compare the two columns of one run, not figures across runs.
"""

import argparse
import json
import subprocess


def run(build_dir, size, storage, args):
    command = [f"{build_dir}/bench/korvane_storage_bench", "--n", str(size), "--ops", str(args.ops),
               "--every", str(args.every), "--storage", storage,
               "--stop-window-seconds", str(args.stop_window_seconds)]
    if args.window:
        command += ["--window", str(args.window)]
    if args.seed is not None:
        command += ["--seed", str(args.seed)]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines() if '"done"' in line]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--sizes", type=int, nargs="+", default=[10000, 20000, 40000, 100000])
    parser.add_argument("--ops", type=int, default=250000)
    parser.add_argument("--window", type=int, default=0)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--every", type=int, default=5000)
    parser.add_argument("--stop-window-seconds", type=float, default=60)
    parser.add_argument("--json", help="write every window of every run to this file")
    args = parser.parse_args()
    everything = []
    for size in args.sizes:
        curves = {storage: run(args.build_dir, size, storage, args) for storage in ("sparse", "dense")}
        everything += curves["sparse"] + curves["dense"]
        sparse = {row["done"]: row for row in curves["sparse"]}
        print(f"n = {size}: us per op by window (mean and largest degree from the sparse run)")
        print(f"{'ops done':>9} {'mean deg':>9} {'max deg':>8} {'sparse':>11} {'dense':>11} "
              f"{'sparse/dense':>12} {'MiB sparse':>10} {'MiB dense':>9}")
        crossover = None
        for row in curves["dense"]:
            other = sparse.get(row["done"])
            if other is None:
                print(f"{row['done']:>9} {row['mean_degree']:>9.1f} {row['max_degree']:>8} "
                      f"{'':>11} {row['us_per_op']:>11.3f} {'':>12} {'':>10} {row['rss_mib']:>9.0f}")
                continue
            ratio = other["us_per_op"] / row["us_per_op"]
            if crossover is None and ratio > 1 and other["mean_degree"] >= 1:
                crossover = other
            print(f"{row['done']:>9} {other['mean_degree']:>9.1f} {other['max_degree']:>8} "
                  f"{other['us_per_op']:>11.3f} {row['us_per_op']:>11.3f} {ratio:>12.2f} "
                  f"{other['rss_mib']:>10.0f} {row['rss_mib']:>9.0f}")
        if crossover is not None:
            print(f"  dense first cheaper in the window ending at {crossover['done']} ops, "
                  f"mean degree {crossover['mean_degree']:.1f}")
    if args.json:
        with open(args.json, "w") as out:
            json.dump(everything, out, indent=1)


if __name__ == "__main__":
    main()
