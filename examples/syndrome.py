"""Syndrome extraction on the five-qubit code: an injected Pauli error is found and undone.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/syndrome.py [--trials K]

The [[5,1,3]] code keeps one logical qubit in five data qubits, fixed by the four stabilizer
generators XZZXI, IXZZX, XIXZZ, ZXIXZ. Each generator is measured through an ancilla: the
ancilla in |+>, a controlled Pauli from it onto every qubit the generator touches, then an X
measurement of the ancilla, whose outcome is the generator's eigenvalue. Any single-qubit Pauli
error anticommutes with a distinct, non-empty subset of the generators, so the change of the
syndrome names the error, and applying that Pauli again removes it.

Each trial encodes a logical basis state (|0> with ZZZZZ = +1, or |+> with XXXXX = +1) by
measuring the generators, injects a random single-qubit error (or none), decodes and corrects it,
and checks that the syndrome is back and the logical value unchanged.
"""

from __future__ import annotations

import argparse
import random
import sys

from korvane import Korvane

GENERATORS = ("XZZXI", "IXZZX", "XIXZZ", "ZXIXZ")
LOGICAL_Z = "ZZZZZ"
LOGICAL_X = "XXXXX"
DATA_QUBITS = 5
ANCILLA = DATA_QUBITS
PAULIS = "XYZ"


def anticommute(first: str, second: str) -> bool:
    """Whether two Pauli strings anticommute: they differ (both non-identity) on an odd count."""
    clashes = sum(a != "I" and b != "I" and a != b for a, b in zip(first, second))
    return clashes % 2 == 1


def single_qubit_error(qubit: int, pauli: str) -> str:
    return "".join(pauli if position == qubit else "I" for position in range(DATA_QUBITS))


def decoding_table() -> dict[tuple[int, ...], tuple[int, str]]:
    """Syndrome change (one bit per generator) -> the single-qubit error that causes it."""
    table: dict[tuple[int, ...], tuple[int, str]] = {}
    for qubit in range(DATA_QUBITS):
        for pauli in PAULIS:
            error = single_qubit_error(qubit, pauli)
            change = tuple(int(anticommute(error, generator)) for generator in GENERATORS)
            if change in table or not any(change):
                raise ValueError(f"error {error} is not uniquely detectable")
            table[change] = (qubit, pauli)
    return table


def apply_pauli(simulator: Korvane, qubit: int, pauli: str) -> None:
    {"X": simulator.x, "Y": simulator.y, "Z": simulator.z}[pauli](qubit)


def measure_pauli_string(simulator: Korvane, pauli_string: str) -> int:
    """Eigenvalue bit (0 for +1) of a data Pauli string, read through the ancilla.

    The ancilla is in |+> before and after: an outcome of -1 leaves it in |->, which Z turns back.
    """
    controlled = {"X": simulator.cx, "Y": simulator.cy, "Z": simulator.cz}
    for qubit, pauli in enumerate(pauli_string):
        if pauli != "I":
            controlled[pauli](ANCILLA, qubit)
    bit = int(simulator.measure_x(ANCILLA))
    if bit:
        simulator.z(ANCILLA)
    return bit


def syndrome(simulator: Korvane) -> tuple[int, ...]:
    return tuple(measure_pauli_string(simulator, generator) for generator in GENERATORS)


def encode(simulator: Korvane, basis: str) -> tuple[int, ...]:
    """Project the data onto the code space from |00000> (basis "Z") or |+++++> (basis "X").

    The starting product state is an eigenstate of the matching logical operator, which commutes
    with every generator, so the logical value survives. Returns the syndrome found: the signs of
    the generators are random and become the reference for later rounds.
    """
    simulator.h(ANCILLA)
    if basis == "X":
        for qubit in range(DATA_QUBITS):
            simulator.h(qubit)
    return syndrome(simulator)


Error = tuple[int, str]


def run_trial(
    simulator: Korvane, basis: str, error: Error | None, table: dict[tuple[int, ...], Error]
) -> tuple[bool, Error | None]:
    """One encode, inject, decode, correct, verify round; returns (success, decoded error)."""
    logical = LOGICAL_Z if basis == "Z" else LOGICAL_X
    reference = encode(simulator, basis)
    if error is not None:
        apply_pauli(simulator, *error)
    found = syndrome(simulator)
    change = tuple(a ^ b for a, b in zip(reference, found))
    decoded = table.get(change) if any(change) else None
    if decoded is not None:
        apply_pauli(simulator, *decoded)
    restored = syndrome(simulator) == reference
    logical_kept = measure_pauli_string(simulator, logical) == 0
    return decoded == error and restored and logical_kept, decoded


def main(arguments: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--trials", type=int, default=300, help="number of encode/error rounds")
    parser.add_argument("--seed", type=int, default=5, help="seed for the injected errors")
    options = parser.parse_args(arguments)
    rng = random.Random(options.seed)
    table = decoding_table()

    print("syndrome change -> error, from the commutation of the error with each generator:")
    for change, (qubit, pauli) in sorted(table.items(), key=lambda item: item[1]):
        print(f"  {''.join(map(str, change))} -> {pauli} on qubit {qubit}")

    successes = 0
    errors: list[tuple[int, str] | None] = [None]
    errors += [(qubit, pauli) for qubit in range(DATA_QUBITS) for pauli in PAULIS]
    for trial in range(options.trials):
        basis = "ZX"[(trial // len(errors)) % 2]
        error = errors[trial % len(errors)] if trial < 2 * len(errors) else rng.choice(errors)
        ok, _ = run_trial(Korvane(DATA_QUBITS + 1), basis, error, table)
        successes += ok
    print(f"{options.trials} trials (logical |0> and |+>, every single-qubit error and none):"
          f" found, corrected and logical value kept in {successes}/{options.trials}")
    passed = successes == options.trials
    print("all checks passed" if passed else "CHECKS FAILED")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
