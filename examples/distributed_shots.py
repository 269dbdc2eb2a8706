"""Many shots of one circuit on a Dask cluster: a noisy repetition-code memory or GHZ parities.

Run with korvane and dask.distributed importable:
    python3 examples/distributed_shots.py repetition [--shots K] [--workers W]
    python3 examples/distributed_shots.py ghz --scheduler tcp://HOST:8786

Without --scheduler a LocalCluster of W worker processes starts on this machine; with it, the
client joins a running scheduler whose workers can import korvane (README.md, "Many shots", says
how to start them). The shots are cut into batches. Each batch is one task: it builds its own
register, runs its shots one after another (resetting the qubits between shots) and returns a few
counts, so nothing but a small dict crosses the network and no register is ever pickled. The
client adds the counts up as batches finish, showing progress on stderr. A batch is the same loop
a single process would run, and batches draw independent randomness (korvane's generator is per
thread and seeded from the OS; the error draws use a fresh OS-seeded generator per batch), so the
totals are distributed exactly as those of one long single-process run. If a worker dies, Dask
runs its batch again elsewhere; every batch is counted once, and the check that the totals add
up to the shots asked for catches any loss or double count.

repetition: d data qubits hold logical |0> of the bit-flip code; d - 1 ancillas. Each round, every
data qubit suffers X, Y or Z with probability p/3 each; each ancilla then measures Z Z of two
neighbouring data qubits and is reset. The syndrome picks the lighter of the two bit-flip
patterns that explain it and x gates undo that pattern. After the last round the data qubits are
read in Z: they must agree (a codeword), and reading 1 is a logical error. The printed logical
error rate, with a 95% Wilson interval, must match the rate computed exactly from the error model.

ghz: an N-qubit GHZ state measured in X or Y on each qubit, bases drawn per shot. The parity of
the outcome bits is (#Y / 2) mod 2 when #Y is even and a fair coin when #Y is odd.
"""

from __future__ import annotations

import argparse
import contextlib
import math
import random
import sys
from collections import Counter
from collections.abc import Callable
from typing import Any

from distributed import Client, LocalCluster, as_completed

from korvane import Korvane

Counts = dict[str, int]
PAULIS = (Korvane.x, Korvane.y, Korvane.z)
GHZ_CLASSES = ("#Y = 0 mod 4", "#Y = 2 mod 4", "#Y odd")


def reset(register: Korvane, qubits: range) -> None:
    """Brings each qubit back to |0>: measure Z, flip on -1."""
    for qubit in qubits:
        if int(register.measure_z(qubit)):
            register.x(qubit)


def correction(syndrome: list[int]) -> list[int]:
    """The lighter of the two bit-flip patterns whose neighbouring parities are `syndrome`."""
    flips = [0]
    for bit in syndrome:
        flips.append(flips[-1] ^ bit)
    if 2 * sum(flips) > len(flips):
        flips = [1 - flip for flip in flips]
    return flips


def repetition_batch(shots: int, distance: int, rounds: int, error_rate: float) -> Counts:
    """Runs on a worker: `shots` memory experiments on one register, reset between shots."""
    rng = random.Random()  # seeded from the OS: a batch run again draws new errors
    register = Korvane(2 * distance - 1)
    data = range(distance)
    counts: Counter[str] = Counter()
    for _ in range(shots):
        for _ in range(rounds):
            for qubit in data:
                if rng.random() < error_rate:
                    rng.choice(PAULIS)(register, qubit)
            syndrome = []
            for check in range(distance - 1):
                ancilla = distance + check
                register.cx(check, ancilla)
                register.cx(check + 1, ancilla)
                outcome = int(register.measure_z(ancilla))
                if outcome:
                    register.x(ancilla)
                syndrome.append(outcome)
            for qubit, flip in enumerate(correction(syndrome)):
                if flip:
                    register.x(qubit)
        readout = [int(register.measure_z(qubit)) for qubit in data]
        for qubit, bit in enumerate(readout):
            if bit:
                register.x(qubit)
        counts["shots"] += 1
        counts["codewords"] += len(set(readout)) == 1
        counts["logical errors"] += readout[0]
    return dict(counts)


def exact_logical_error_rate(distance: int, rounds: int, error_rate: float) -> float:
    """X and Y flip a data qubit, Z does not. A round ends in the opposite codeword exactly when
    more than half the qubits flipped; the shot fails when an odd number of rounds did so."""
    flip = 2 * error_rate / 3
    per_round = sum(
        math.comb(distance, flipped) * flip**flipped * (1 - flip) ** (distance - flipped)
        for flipped in range(distance // 2 + 1, distance + 1)
    )
    return (1 - (1 - 2 * per_round) ** rounds) / 2


def ghz_batch(shots: int, size: int) -> Counts:
    """Runs on a worker: `shots` GHZ states measured in random X/Y bases, parities counted."""
    rng = random.Random()
    register = Korvane(size)
    counts: Counter[str] = Counter()
    for _ in range(shots):
        register.h(0)
        for qubit in range(1, size):
            register.cx(qubit - 1, qubit)
        y_count = parity = 0
        for qubit in range(size):
            if rng.random() < 0.5:
                y_count += 1
                parity ^= int(register.measure_y(qubit))
            else:
                parity ^= int(register.measure_x(qubit))
        reset(register, range(size))
        label = GHZ_CLASSES[2 if y_count % 2 else y_count % 4 // 2]
        counts["shots"] += 1
        counts[label] += 1
        counts[label + " odd"] += parity
    return dict(counts)


def batch_sizes(shots: int, batch_shots: int) -> list[int]:
    return [min(batch_shots, shots - start) for start in range(0, shots, batch_shots)]


def run_batches(
    client: Client,
    batch: Callable[..., Counts],
    sizes: list[int],
    parameters: dict[str, Any],
    progress: Callable[[int, int], None] = lambda done, shots: None,
) -> Counter[str]:
    """Runs batch(shots, **parameters) as one task per batch size and adds the counts up in the
    order the batches finish."""
    total: Counter[str] = Counter()
    # pure=False: batches of equal size are distinct tasks, not one result shared.
    futures = client.map(batch, sizes, pure=False, **parameters)
    for done, future in enumerate(as_completed(futures), 1):
        total.update(future.result())
        future.release()  # the result is in; a worker lost later need not recompute it
        progress(done, total["shots"])
    return total


def show_progress(batches: int) -> Callable[[int, int], None]:
    """On a terminal one line that updates; elsewhere a line at each tenth of the batches."""
    terminal = sys.stderr.isatty()

    def report(done: int, shots: int) -> None:
        line = f"{done}/{batches} batches done, {shots} shots"
        if terminal:
            print("\r" + line, end="\n" if done == batches else "", file=sys.stderr, flush=True)
        elif done * 10 // batches != (done - 1) * 10 // batches:
            print(line, file=sys.stderr, flush=True)

    return report


def wilson_interval(hits: int, trials: int, z: float = 1.96) -> tuple[float, float]:
    """The 95% Wilson score interval of a binomial proportion."""
    rate = hits / trials
    centre = (rate + z * z / (2 * trials)) / (1 + z * z / trials)
    spread = z * math.sqrt(rate * (1 - rate) / trials + z * z / (4 * trials**2))
    return centre - spread / (1 + z * z / trials), centre + spread / (1 + z * z / trials)


def within(hits: int, trials: int, probability: float, deviations: float = 5) -> bool:
    """Whether `hits` out of `trials` lies within `deviations` binomial standard deviations."""
    spread = deviations * math.sqrt(trials * probability * (1 - probability))
    return abs(hits - trials * probability) <= spread + 1


def report_repetition(total: Counter[str], options: argparse.Namespace) -> bool:
    shots, errors = total["shots"], total["logical errors"]
    low, high = wilson_interval(errors, shots)
    exact = exact_logical_error_rate(options.distance, options.rounds, options.error_rate)
    print(f"  {'logical errors':<32}{errors:>10}")
    rate = errors / shots
    print(f"  {'logical error rate':<32}{rate:>10.4f}   95% interval {low:.4f} .. {high:.4f}")
    print(f"  {'exact rate from the error model':<32}{exact:>10.4f}")
    print(f"  {'readouts that were codewords':<32}{total['codewords']:>10}/{shots}")
    return total["codewords"] == shots and within(errors, shots, exact)


def report_ghz(total: Counter[str]) -> bool:
    print(f"  {'bases':<16}{'shots':>10}{'parity odd':>12}   expected")
    passed = True
    for label, expected in zip(GHZ_CLASSES, ("never", "always", "half")):
        shots, odd = total[label], total[label + " odd"]
        print(f"  {label:<16}{shots:>10}{odd:>12}   {expected}")
        if expected == "half":
            passed &= within(odd, shots, 0.5)
        else:
            passed &= odd == (shots if expected == "always" else 0)
    return passed


def main(arguments: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("circuit", nargs="?", choices=("repetition", "ghz"), default="repetition")
    parser.add_argument("--shots", type=int, default=100_000, help="total number of shots")
    parser.add_argument("--batch-shots", type=int, default=5_000, help="shots per task")
    parser.add_argument("--scheduler", help="address of a running scheduler (default: a "
                        "LocalCluster on this machine)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the "
                        "LocalCluster")
    parser.add_argument("--distance", type=int, default=5, help="repetition: odd code distance")
    parser.add_argument("--rounds", type=int, default=5, help="repetition: syndrome rounds")
    parser.add_argument("--error-rate", type=float, default=0.05,
                        help="repetition: probability of a Pauli error per data qubit and round")
    parser.add_argument("--size", type=int, default=20, help="ghz: number of qubits")
    options = parser.parse_args(arguments)
    if options.shots < 1 or options.batch_shots < 1:
        parser.error("--shots and --batch-shots must be positive")
    if options.distance < 3 or options.distance % 2 == 0:
        parser.error("the distance must be odd and at least 3")

    batch: Callable[..., Counts]
    if options.circuit == "repetition":
        batch = repetition_batch
        parameters = {key: getattr(options, key) for key in ("distance", "rounds", "error_rate")}
        title = (f"repetition code: distance {options.distance}, {options.rounds} rounds, Pauli "
                 f"error rate {options.error_rate} per data qubit and round")
    else:
        batch, parameters = ghz_batch, {"size": options.size}
        title = f"GHZ parity checks: {options.size} qubits measured in random X/Y bases"
    sizes = batch_sizes(options.shots, options.batch_shots)

    with contextlib.ExitStack() as stack:
        if options.scheduler:
            client = stack.enter_context(Client(options.scheduler))
            where = f"the cluster at {options.scheduler}"
        else:
            cluster = stack.enter_context(LocalCluster(
                n_workers=options.workers, threads_per_worker=1, dashboard_address=None))
            client = stack.enter_context(Client(cluster))
            where = f"a LocalCluster of {options.workers} worker processes"
        total = run_batches(client, batch, sizes, parameters, show_progress(len(sizes)))

    print(title)
    print(f"{total['shots']} shots in {len(sizes)} batches of at most {options.batch_shots} "
          f"on {where}")
    passed = total["shots"] == options.shots
    passed &= report_ghz(total) if options.circuit == "ghz" else report_repetition(total, options)
    print("all checks passed" if passed else "CHECKS FAILED")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
