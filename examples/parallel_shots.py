"""Many independent shots of one circuit, spread over processes with concurrent.futures.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/parallel_shots.py [--workers W] [--shots K]

The circuit prepares an N-qubit GHZ state and measures every qubit in X or Y, the bases drawn at
random per shot. The product of the outcomes is then fixed whenever the number of Y bases is even,
(-1)^(#Y/2), and a fair coin when it is odd. Shots are cut into batches that worker processes
run; the parent only adds up the counts.

Randomness is per thread and seeded from the operating system, and a forked process reseeds, so
each worker's outcomes are independent whatever the start method. As a check, every batch also
reports a fingerprint of 64 random outcomes; two equal fingerprints would mean shared generator
states.
"""

from __future__ import annotations

import argparse
import multiprocessing
import random
import sys
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass

from korvane import Korvane


@dataclass
class BatchCounts:
    fixed_shots: int = 0
    fixed_as_predicted: int = 0
    coin_shots: int = 0
    coin_minus_one: int = 0
    fingerprint: int = 0

    def add(self, other: BatchCounts) -> None:
        self.fixed_shots += other.fixed_shots
        self.fixed_as_predicted += other.fixed_as_predicted
        self.coin_shots += other.coin_shots
        self.coin_minus_one += other.coin_minus_one


def predicted_parity(bases: str) -> int | None:
    """Parity of the outcome bits for a GHZ state measured in `bases`; None when it is random."""
    y_count = bases.count("y")
    return None if y_count % 2 else (y_count // 2) % 2


def one_shot(size: int, bases: str) -> int:
    simulator = Korvane(size)
    simulator.h(0)
    for qubit in range(1, size):
        simulator.cx(qubit - 1, qubit)
    bits = 0
    for qubit, basis in enumerate(bases):
        bits ^= int(simulator.measure_y(qubit) if basis == "y" else simulator.measure_x(qubit))
    return bits


def fingerprint(bits: int = 64) -> int:
    """`bits` fresh random outcomes: Z measurements of qubits in |+>."""
    simulator = Korvane(bits)
    value = 0
    for qubit in range(bits):
        simulator.h(qubit)
        value = value << 1 | int(simulator.measure_z(qubit))
    return value


def run_batch(size: int, shots: int, basis_seed: int) -> BatchCounts:
    """Runs in a worker process. The bases come from a seeded generator, the outcomes do not."""
    counts = BatchCounts(fingerprint=fingerprint())
    rng = random.Random(basis_seed)
    for _ in range(shots):
        bases = "".join(rng.choice("xy") for _ in range(size))
        parity = one_shot(size, bases)
        expected = predicted_parity(bases)
        if expected is None:
            counts.coin_shots += 1
            counts.coin_minus_one += parity
        else:
            counts.fixed_shots += 1
            counts.fixed_as_predicted += parity == expected
    return counts


def main(arguments: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--size", type=int, default=30, help="GHZ size")
    parser.add_argument("--shots", type=int, default=20_000, help="total number of shots")
    parser.add_argument("--batches", type=int, default=16, help="batches the shots are cut into")
    parser.add_argument("--workers", type=int, default=2, help="worker processes")
    options = parser.parse_args(arguments)

    batch_sizes = [options.shots // options.batches] * options.batches
    batch_sizes[0] += options.shots - sum(batch_sizes)
    context = multiprocessing.get_context("forkserver")
    total = BatchCounts()
    fingerprints = []
    with ProcessPoolExecutor(max_workers=options.workers, mp_context=context) as pool:
        futures = [
            pool.submit(run_batch, options.size, shots, seed)
            for seed, shots in enumerate(batch_sizes)
        ]
        for future in futures:
            counts = future.result()
            total.add(counts)
            fingerprints.append(counts.fingerprint)

    print(
        f"{options.shots} shots of a {options.size}-qubit GHZ state measured in random X/Y bases,"
        f" {options.batches} batches on {options.workers} worker processes"
    )
    fixed = f"{total.fixed_as_predicted}/{total.fixed_shots}"
    print(f"  even number of Y: parity as predicted in {fixed}")
    print(f"  odd number of Y: parity -1 in {total.coin_minus_one}/{total.coin_shots} (fair coin)")
    distinct = len(set(fingerprints))
    print(f"  distinct generator fingerprints: {distinct}/{len(fingerprints)}")

    coin_spread = 5 * (total.coin_shots ** 0.5) / 2 + 1
    passed = (
        total.fixed_shots + total.coin_shots == options.shots
        and total.fixed_as_predicted == total.fixed_shots
        and abs(total.coin_minus_one - total.coin_shots / 2) <= coin_spread
        and distinct == len(fingerprints)
    )
    print("all checks passed" if passed else "CHECKS FAILED")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
