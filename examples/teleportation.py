"""Teleportation through a cluster wire, checked on half of a Bell pair.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/teleportation.py [--length N] [--wires K]

Qubit 0 is a reference that stays put. Qubit 1 starts as its Bell partner, (|00> + |11>)/sqrt(2),
and is the input of a one-dimensional cluster wire on qubits 1..N. Measuring every wire qubit but
the last in the X basis moves the input along: each measurement applies H, and an X when its
outcome is -1. Tracking those byproducts as a Pauli frame and undoing them on the last qubit must
leave the reference and the last qubit in the very Bell pair the reference started in. Because
the input was entangled, that one check covers every input state at once.
"""

from __future__ import annotations

import argparse
import sys

from korvane import Korvane

REFERENCE = 0
INPUT = 1


def build(simulator: Korvane, length: int) -> None:
    """Bell pair on (REFERENCE, INPUT); the wire INPUT .. INPUT+length-1 joined by controlled-Z."""
    simulator.h(REFERENCE)
    simulator.cx(REFERENCE, INPUT)
    for qubit in range(INPUT + 1, INPUT + length):
        simulator.h(qubit)
    for qubit in range(INPUT, INPUT + length - 1):
        simulator.cz(qubit, qubit + 1)


def measure_wire(simulator: Korvane, length: int) -> tuple[int, int]:
    """X-measure all wire qubits but the last; return the frame (x, z) left on the last one.

    The last qubit then carries X^x Z^z H^(length-1) applied to the input. One measurement with
    outcome bit b maps the frame through H (X and Z trade places) and then multiplies in X^b.
    """
    flip_x, flip_z = 0, 0
    for qubit in range(INPUT, INPUT + length - 1):
        outcome = int(simulator.measure_x(qubit))
        flip_x, flip_z = flip_z ^ outcome, flip_x
    return flip_x, flip_z


def correct(simulator: Korvane, length: int, frame: tuple[int, int]) -> int:
    """Undo the frame and the Hadamards on the last wire qubit; return its index."""
    output = INPUT + length - 1
    flip_x, flip_z = frame
    if flip_x:
        simulator.x(output)
    if flip_z:
        simulator.z(output)
    if (length - 1) % 2 == 1:
        simulator.h(output)
    return output


def holds_bell_pair(simulator: Korvane, output: int) -> bool:
    """Whether (REFERENCE, output) is exactly (|00> + |11>)/sqrt(2), detached from the rest.

    Undoing the preparation (cx, then h) must give |00>, so both Z measurements are certain +1.
    This consumes the pair.
    """
    if simulator.get_entangled_group(output) != {REFERENCE, output}:
        return False
    simulator.cx(REFERENCE, output)
    simulator.h(REFERENCE)
    trial = simulator.peek_measure_set({REFERENCE, output})
    certain_zero = all(
        outcome.axis == 2 and outcome.result == 0 for outcome in trial.values()
    )
    return certain_zero and simulator.measure_z(REFERENCE) == 0 and simulator.measure_z(output) == 0


def teleport_once(length: int) -> tuple[bool, tuple[int, int]]:
    simulator = Korvane(INPUT + length)
    build(simulator, length)
    frame = measure_wire(simulator, length)
    output = correct(simulator, length, frame)
    return holds_bell_pair(simulator, output), frame


def main(arguments: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--length", type=int, default=100_000, help="wire length (qubits)")
    parser.add_argument("--wires", type=int, default=20, help="number of wires to teleport through")
    options = parser.parse_args(arguments)

    arrived = 0
    frames: dict[tuple[int, int], int] = {}
    for wire in range(options.wires):
        # Alternate the parity of the length, so that both Hadamard counts are exercised.
        length = options.length + wire % 2
        ok, frame = teleport_once(length)
        arrived += ok
        frames[frame] = frames.get(frame, 0) + 1
    print(f"{options.wires} wires of {options.length}/{options.length + 1} qubits:"
          f" Bell pair restored {arrived}/{options.wires}")
    print("  byproduct frames (x, z) seen: "
          + ", ".join(f"{frame}: {count}" for frame, count in sorted(frames.items())))
    passed = arrived == options.wires
    print("all checks passed" if passed else "CHECKS FAILED")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
