"""Many shots of one circuit on a Dask cluster: a noisy repetition-code memory or GHZ parities.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/distributed_shots.py repetition [--shots K] [--workers W] [--seed S]
    .venv/bin/python examples/distributed_shots.py ghz --scheduler tcp://HOST:8786

Without --scheduler a LocalCluster of W worker processes starts on this machine; with it, the
client joins a running scheduler whose workers can import korvane (README.md, "Many shots", says
how to start them). The shots are cut into batches. Each batch is one task: it writes its circuit
in the circuit text format, samples it with korvane.Circuit (every shot runs in C++, with the GIL
released) and returns a few counts, so nothing but a small dict crosses the network. Every batch
gets its own seed, derived from the one seed of the run by numpy's SeedSequence, so the whole run
is reproducible: the same --seed gives the same totals, however the batches are spread over
workers, and a batch that Dask runs again after a worker dies gives the same counts again. The
client adds the counts up as batches finish, showing progress on stderr; the check that the totals
add up to the shots asked for catches any loss or double count.

repetition: d data qubits hold logical |0> of the bit-flip code; d - 1 ancillas. Each round, every
data qubit suffers X, Y or Z with probability p/3 each (DEPOLARIZE1); each ancilla then measures
Z Z of two neighbouring data qubits and is reset (MR). A detector compares each check with its
value in the previous round, so it fires where a flip struck since then. The decoder, run here on
the sampled detectors, picks for each round the lighter of the two bit-flip patterns that explain
its detection events and adds it to the correction. The data qubits are read in Z at the end: the
final detectors (data parities against the last checks) never fire, which makes every corrected
readout a codeword, and a corrected readout of 1 is a logical error. The printed logical error
rate, with a 95% Wilson interval, must match the rate computed exactly from the error model.

ghz: an N-qubit GHZ state measured in X or Y on each qubit, the bases drawn afresh for every small
group of shots. The parity of the outcome bits is (#Y / 2) mod 2 when #Y is even and a fair coin
when #Y is odd.
"""

from __future__ import annotations

import argparse
import contextlib
import math
import random
import secrets
import sys
from collections import Counter
from collections.abc import Callable
from typing import Any

import numpy as np
import numpy.typing as npt
from distributed import Client, LocalCluster, as_completed

from korvane import Circuit

Counts = dict[str, int]
GHZ_CLASSES = ("#Y = 0 mod 4", "#Y = 2 mod 4", "#Y odd")
GHZ_SHOTS_PER_BASIS = 16


def repetition_circuit(distance: int, rounds: int, error_rate: float) -> str:
    """The memory experiment as circuit text: data qubits 0 .. d-1, ancilla d + i checks data
    qubits i and i + 1. The first round's detectors compare with the noiseless 0."""
    data = " ".join(str(q) for q in range(distance))
    ancillas = " ".join(str(distance + i) for i in range(distance - 1))
    checks = " ".join(f"{i} {distance + i} {i + 1} {distance + i}" for i in range(distance - 1))
    one_round = f"DEPOLARIZE1({error_rate}) {data}\nCX {checks}\nMR {ancillas}\n"
    k = distance - 1  # results per round
    first = "".join(f"DETECTOR rec[-{k - i}]\n" for i in range(k))
    later = "".join(f"    DETECTOR rec[-{k - i}] rec[-{2 * k - i}]\n" for i in range(k))
    text = one_round + first
    if rounds > 1:
        indented = "".join(f"    {line}\n" for line in one_round.splitlines())
        text += f"REPEAT {rounds - 1} {{\n{indented}{later}}}\n"
    # Data qubit i is rec[-(d - i)] after the readout; its check i is d - 1 further back.
    text += f"M {data}\n"
    text += "".join(
        f"DETECTOR rec[-{distance - i}] rec[-{distance - i - 1}] rec[-{distance - i + k}]\n"
        for i in range(k)
    )
    return text + f"OBSERVABLE_INCLUDE(0) rec[-{distance}]\n"


def lighter_patterns(events: npt.NDArray[np.uint8]) -> npt.NDArray[np.uint8]:
    """For detection events of shape (..., d - 1): the lighter of the two bit-flip patterns of d
    qubits whose neighbouring parities they are, shape (..., d)."""
    qubits = events.shape[-1] + 1
    flips = np.zeros(events.shape[:-1] + (qubits,), dtype=np.uint8)
    flips[..., 1:] = np.bitwise_xor.accumulate(events, axis=-1)
    heavy = 2 * flips.sum(axis=-1, dtype=np.int64) > qubits
    flips[heavy] ^= 1
    return flips


def repetition_batch(
    shots: int, seed: int | None = None, *, distance: int, rounds: int, error_rate: float
) -> Counts:
    """Runs on a worker: `shots` memory experiments sampled at once, decoded here."""
    circuit = Circuit(repetition_circuit(distance, rounds, error_rate))
    detectors, observables = circuit.sample_detectors(shots, seed=seed)
    events = detectors[:, : rounds * (distance - 1)].reshape(shots, rounds, distance - 1)
    correction = np.bitwise_xor.reduce(lighter_patterns(events.astype(np.uint8)), axis=1)
    logical = observables[:, 0] ^ correction[:, 0].astype(bool)
    codewords = ~detectors[:, rounds * (distance - 1) :].any(axis=1)
    return {"shots": shots, "codewords": int(codewords.sum()), "logical errors": int(logical.sum())}


def exact_logical_error_rate(distance: int, rounds: int, error_rate: float) -> float:
    """X and Y flip a data qubit, Z does not. A round ends in the opposite codeword exactly when
    more than half the qubits flipped; the shot fails when an odd number of rounds did so."""
    flip = 2 * error_rate / 3
    per_round = sum(
        math.comb(distance, flipped) * flip**flipped * (1 - flip) ** (distance - flipped)
        for flipped in range(distance // 2 + 1, distance + 1)
    )
    return (1 - (1 - 2 * per_round) ** rounds) / 2


def ghz_circuit(bases: str) -> str:
    """A GHZ state of len(bases) qubits, then qubit q measured in bases[q] ("x" or "y")."""
    chain = " ".join(f"{q - 1} {q}" for q in range(1, len(bases)))
    readout = "\n".join(f"M{basis.upper()} {q}" for q, basis in enumerate(bases))
    return f"H 0\nCX {chain}\n{readout}\n" if chain else f"H 0\n{readout}\n"


def ghz_batch(shots: int, seed: int | None = None, *, size: int) -> Counts:
    """Runs on a worker: `shots` GHZ states measured in random X/Y bases, parities counted."""
    rng = random.Random(seed)
    counts: Counter[str] = Counter()
    for start in range(0, shots, GHZ_SHOTS_PER_BASIS):
        group = min(GHZ_SHOTS_PER_BASIS, shots - start)
        bases = "".join(rng.choice("xy") for _ in range(size))
        bits = Circuit(ghz_circuit(bases)).sample(group, seed=rng.getrandbits(64))
        y_count = bases.count("y")
        label = GHZ_CLASSES[2 if y_count % 2 else y_count % 4 // 2]
        counts["shots"] += group
        counts[label] += group
        counts[label + " odd"] += int((bits.sum(axis=1) % 2).sum())
    return dict(counts)


def batch_seeds(seed: int, batches: int) -> list[int]:
    """One 64-bit seed per batch, derived from `seed`: batch i gets the same seed on every run."""
    children = np.random.SeedSequence(seed).spawn(batches)
    return [int(child.generate_state(1, dtype=np.uint64)[0]) for child in children]


def batch_sizes(shots: int, batch_shots: int) -> list[int]:
    return [min(batch_shots, shots - start) for start in range(0, shots, batch_shots)]


def run_batches(
    client: Client,
    batch: Callable[..., Counts],
    sizes: list[int],
    parameters: dict[str, Any],
    progress: Callable[[int, int], None] = lambda done, shots: None,
    seed: int | None = None,
) -> Counter[str]:
    """Runs batch(shots, seed, **parameters) as one task per batch size, each with its own
    seed derived from `seed` (drawn from the operating system when None), and adds the counts up
    in the order the batches finish."""
    if seed is None:
        seed = secrets.randbits(64)
    total: Counter[str] = Counter()
    # pure=False: a batch is a task of its own even should two have equal arguments.
    futures = client.map(batch, sizes, batch_seeds(seed, len(sizes)), pure=False, **parameters)
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
    parser.add_argument("--batch-shots", type=int, default=20_000, help="shots per task")
    parser.add_argument("--scheduler", help="address of a running scheduler (default: a "
                        "LocalCluster on this machine)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the "
                        "LocalCluster")
    parser.add_argument("--distance", type=int, default=5, help="repetition: odd code distance")
    parser.add_argument("--rounds", type=int, default=5, help="repetition: syndrome rounds")
    parser.add_argument("--error-rate", type=float, default=0.05,
                        help="repetition: probability of a Pauli error per data qubit and round")
    parser.add_argument("--size", type=int, default=20, help="ghz: number of qubits")
    parser.add_argument("--seed", type=int, help="seed of the whole run, 0 <= seed < 2**64 "
                        "(default: drawn from the operating system, and printed)")
    options = parser.parse_args(arguments)
    if options.shots < 1 or options.batch_shots < 1:
        parser.error("--shots and --batch-shots must be positive")
    if options.distance < 3 or options.distance % 2 == 0:
        parser.error("the distance must be odd and at least 3")
    if options.seed is not None and not 0 <= options.seed < 2**64:
        parser.error("the seed must be at least 0 and below 2**64")
    seed = secrets.randbits(64) if options.seed is None else options.seed

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
        total = run_batches(client, batch, sizes, parameters, show_progress(len(sizes)), seed)

    print(title)
    print(f"{total['shots']} shots in {len(sizes)} batches of at most {options.batch_shots} "
          f"on {where}, seed {seed}")
    passed = total["shots"] == options.shots
    passed &= report_ghz(total) if options.circuit == "ghz" else report_repetition(total, options)
    print("all checks passed" if passed else "CHECKS FAILED")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
