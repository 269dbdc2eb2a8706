"""GHZ correlations: outcomes that are random one by one but fixed together.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/ghz.py [--size N] [--shots K]

The state (|0...0> + |1...1>)/sqrt(2) is made by an H and a chain of CNOTs. Then, shot by shot:
- every Z outcome is the same, and that common value is a fair coin;
- the product of all X outcomes is +1;
- with Y measured on two of the qubits and X on the rest, the product is -1 (the Mermin
  correlation that no assignment of predetermined local values can reproduce).
A trial measurement with `peek_measure_set` leaves the state as it was.
"""

from __future__ import annotations

import argparse
import math
import random
import sys

from korvane import Axis, Korvane, MeasurementResult


def make_ghz(simulator: Korvane, size: int) -> list[int]:
    simulator.h(0)
    for qubit in range(1, size):
        simulator.cx(qubit - 1, qubit)
    return list(range(size))


def measure(simulator: Korvane, qubit: int, axis: str) -> int:
    """Outcome bit of `axis` ("x", "y" or "z") on `qubit`: 0 for +1, 1 for -1."""
    result: MeasurementResult = getattr(simulator, "measure_" + axis)(qubit)
    return int(result)


def parity(simulator: Korvane, axes: dict[int, str], rng: random.Random) -> int:
    """Measure each qubit on its axis, in a random order; return the parity of the outcome bits."""
    order = list(axes)
    rng.shuffle(order)
    bits = 0
    for qubit in order:
        bits ^= measure(simulator, qubit, axes[qubit])
    return bits


def within_binomial(count: int, trials: int, sigmas: float = 5.0) -> bool:
    """Whether `count` successes in `trials` fair coin flips are within `sigmas` deviations."""
    return abs(count - trials / 2) <= sigmas * math.sqrt(trials) / 2 + 1


def main(arguments: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--size", type=int, default=200, help="number of qubits")
    parser.add_argument("--shots", type=int, default=400, help="fresh states per correlation")
    parser.add_argument("--seed", type=int, default=7, help="seed for orders and Y positions")
    options = parser.parse_args(arguments)
    size, shots = options.size, options.shots
    rng = random.Random(options.seed)
    ok = True

    agreeing, minus_one = 0, 0
    for _ in range(shots):
        simulator = Korvane(size)
        qubits = make_ghz(simulator, size)
        ok &= simulator.get_entangled_group(0) == set(qubits)
        first = measure(simulator, rng.choice(qubits), "z")
        agreeing += all(measure(simulator, qubit, "z") == first for qubit in qubits)
        minus_one += first
    ok &= agreeing == shots and within_binomial(minus_one, shots)
    print(f"GHZ state of {size} qubits, {shots} shots per line")
    print(f"  Z on all: all equal in {agreeing}/{shots}, common value -1 in {minus_one}")

    for y_count, expected in ((0, 0), (2, 1)):
        matching = 0
        for _ in range(shots):
            simulator = Korvane(size)
            qubits = make_ghz(simulator, size)
            y_qubits = set(rng.sample(qubits, y_count))
            axes = {qubit: "y" if qubit in y_qubits else "x" for qubit in qubits}
            matching += parity(simulator, axes, rng) == expected
        ok &= matching == shots
        label = "X on all" if y_count == 0 else "Y on two, X on the rest"
        sign = "+1" if expected == 0 else "-1"
        print(f"  {label}: product of outcomes {sign} in {matching}/{shots}")

    # A trial measurement of two qubits picks random axes for entangled qubits and changes nothing:
    # the state is still the same GHZ state afterwards.
    simulator = Korvane(size)
    make_ghz(simulator, size)
    trial = simulator.peek_measure_set({0, size - 1})
    shown = ", ".join(f"{qubit}: {outcome}" for qubit, outcome in sorted(trial.items()))
    ok &= all(outcome.axis in (Axis.X, Axis.Y, Axis.Z) for outcome in trial.values())
    ok &= simulator.get_entangled_group(size - 1) == set(range(size))
    ok &= parity(simulator, {qubit: "x" for qubit in range(size)}, rng) == 0
    print(f"  a trial measurement (axis, result): {shown}; the state is unchanged after it")

    print("all checks passed" if ok else "CHECKS FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
