"""Cut ranks along the line of a register written by `korvane_storage_bench --dump FILE`: for a
cut after qubit k, the rank over GF(2) of the adjacency between qubits < k and qubits >= k, which
is the entanglement (in ebits) across the cut and is the same for every graph equivalent under
local complementation. A small cut rank everywhere is what allows an equivalent sparse graph.

Usage: python3 bench/cut_ranks.py FILE [--cuts 20]   (needs numpy; n up to a few thousand)
"""

import argparse

import numpy as np


def load(path):
    with open(path) as source:
        size = int(source.readline())
        source.readline()  # the VOPs: local Cliffords change no cut rank
        adjacency = np.zeros((size, size), dtype=bool)
        for line in source:
            a, b = map(int, line.split())
            adjacency[a, b] = adjacency[b, a] = True
    return adjacency


def rank(matrix):
    rows = matrix.copy()
    found = 0
    for column in range(rows.shape[1]):
        pivots = np.nonzero(rows[found:, column])[0]
        if len(pivots) == 0:
            continue
        pivot = found + pivots[0]
        rows[[found, pivot]] = rows[[pivot, found]]
        others = np.nonzero(rows[:, column])[0]
        rows[others[others != found]] ^= rows[found]
        found += 1
        if found == rows.shape[0]:
            break
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--cuts", type=int, default=20)
    args = parser.parse_args()
    adjacency = load(args.file)
    size = adjacency.shape[0]
    cuts = range(size // (2 * args.cuts), size, max(1, size // args.cuts))
    ranks = [rank(adjacency[:k, k:]) for k in cuts]
    print(f"n={size} edges={int(adjacency.sum()) // 2} cut ranks at {list(cuts)}: {ranks} "
          f"(largest {max(ranks)})")


if __name__ == "__main__":
    main()
