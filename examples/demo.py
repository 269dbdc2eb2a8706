"""korvane at scale: teleportation along a long cluster wire, and GHZ correlations.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/demo.py        (or: bash tools/run.sh demo)

1. A qubit is prepared in a Pauli eigenstate and teleported along a one-dimensional cluster
   state by measuring every qubit but the last in the X basis. Each measurement moves the state
   one qubit along and applies H, plus an X when the outcome is -1. Those byproducts are tracked
   as a Pauli frame and undone on the last qubit, which must then hold the prepared state.
2. A GHZ state (|0...0> + |1...1>)/sqrt(2) is made from a cluster chain by X measurements, and
   from h and a chain of cx gates; all Z outcomes must agree, the product of all X outcomes must
   be +1, and with two of the X measurements replaced by Y it must be -1.
"""

from __future__ import annotations

import argparse
import random
import sys
import time

import korvane

AXIS_NAMES = "XYZ"

# Gates taking |0> to the eigenstate of (axis, bit), eigenvalue (-1)**bit; axes X, Y, Z = 0, 1, 2.
EIGENSTATE_PREPARATIONS = {
    (0, 0): ("h",),
    (0, 1): ("x", "h"),
    (1, 0): ("h", "s"),
    (1, 1): ("h", "sdag"),
    (2, 0): (),
    (2, 1): ("x",),
}


def state_name(axis: int, bit: int) -> str:
    return (("|+>", "|->"), ("|+i>", "|-i>"), ("|0>", "|1>"))[axis][bit]


def build_wire(simulator, length: int, preparation) -> None:
    """Qubit 0 in the prepared state, qubits 1.. in |+>, a controlled-Z between neighbours."""
    for gate in preparation:
        getattr(simulator, gate)(0)
    for qubit in range(1, length):
        simulator.h(qubit)
    for qubit in range(length - 1):
        simulator.cz(qubit, qubit + 1)


def measure_wire(simulator, length: int) -> tuple[int, int]:
    """Measure qubits 0 .. length-2 in X; return the Pauli frame (x, z) left on the last qubit.

    The last qubit then holds X^x Z^z H^(length-1) applied to the input state. A measurement with
    outcome bit s maps the frame through H (X and Z swap) and then multiplies in X^s.
    """
    flip_x, flip_z = 0, 0
    for qubit in range(length - 1):
        outcome = int(simulator.measure_x(qubit))
        flip_x, flip_z = flip_z ^ outcome, flip_x
    return flip_x, flip_z


def correct_output(simulator, length: int, frame: tuple[int, int]) -> int:
    """Undo the frame and the Hadamards on the last qubit; return that qubit's index."""
    output = length - 1
    flip_x, flip_z = frame
    if flip_x:
        simulator.x(output)
    if flip_z:
        simulator.z(output)
    if (length - 1) % 2 == 1:
        simulator.h(output)
    return output


def teleport(simulator, length: int, preparation) -> tuple[int, tuple[int, int]]:
    build_wire(simulator, length, preparation)
    frame = measure_wire(simulator, length)
    return correct_output(simulator, length, frame), frame


def check_teleported(simulator, output: int, axis: int, bit: int) -> bool:
    """The output must be isolated and certain on `axis` with eigenvalue (-1)**bit."""
    if simulator.get_entangled_group(output) != {output}:
        return False
    outcome = simulator.peek_measure_set({output})[output]
    if outcome.axis != axis or outcome.result != bit:
        return False
    measure = getattr(simulator, "measure_" + AXIS_NAMES[axis].lower())
    return all(measure(output) == bit for _ in range(3))


def demo_teleportation(length: int, rng: random.Random) -> bool:
    ok = True
    print(f"Teleportation along a {length}-qubit cluster wire")
    axis, bit = 1, 0
    simulator = korvane.Korvane(length)
    started = time.perf_counter()
    build_wire(simulator, length, EIGENSTATE_PREPARATIONS[(axis, bit)])
    built = time.perf_counter()
    frame = measure_wire(simulator, length)
    measured = time.perf_counter()
    output = correct_output(simulator, length, frame)
    passed = check_teleported(simulator, output, axis, bit)
    checked = time.perf_counter()
    ok &= passed
    print(f"  input {state_name(axis, bit)} on qubit 0, output on qubit {output}")
    print(f"  build wire ({length} h, {length - 1} cz):       {built - started:7.3f} s")
    print(f"  {length - 1} X measurements:                 {measured - built:7.3f} s")
    print(f"  frame X^{frame[0]} Z^{frame[1]} undone, output checked:  {checked - measured:7.3f} s")
    sign = "+1" if bit == 0 else "-1"
    print(f"  output certain on {AXIS_NAMES[axis]} with {sign}: {'yes' if passed else 'NO'}")

    short_length = 1001
    started = time.perf_counter()
    short_passed = 0
    for (axis, bit), preparation in EIGENSTATE_PREPARATIONS.items():
        for _ in range(4):
            length_here = short_length + rng.randrange(2)  # both parities of Hadamard count
            simulator = korvane.Korvane(length_here)
            output, _ = teleport(simulator, length_here, preparation)
            short_passed += check_teleported(simulator, output, axis, bit)
    elapsed = time.perf_counter() - started
    ok &= short_passed == 24
    print(
        f"  all six eigenstates, 4 wires of ~{short_length} qubits each:"
        f" {short_passed}/24 arrived   {elapsed:7.3f} s"
    )
    return ok


def ghz_from_cluster(simulator, size: int) -> list[int]:
    """Make a GHZ state on qubits 0, 2, .., 2*size-2 of a 2*size-1 qubit cluster chain.

    Measuring X on the odd qubits leaves Z(2i) Z(2i+2) = (-1)**s on each neighbouring pair of even
    qubits and keeps the product of X on all of them at +1; flipping every even qubit whose
    running parity of outcomes is odd turns that into (|0...0> + |1...1>)/sqrt(2).
    """
    length = 2 * size - 1
    for qubit in range(length):
        simulator.h(qubit)
    for qubit in range(length - 1):
        simulator.cz(qubit, qubit + 1)
    outcomes = {qubit: int(simulator.measure_x(qubit)) for qubit in range(length - 2, 0, -2)}
    parity = 0
    for qubit in range(2, length, 2):
        parity ^= outcomes[qubit - 1]
        if parity:
            simulator.x(qubit)
    return list(range(0, length, 2))


def ghz_from_circuit(simulator, size: int) -> list[int]:
    simulator.h(0)
    for qubit in range(1, size):
        simulator.cx(qubit - 1, qubit)
    return list(range(size))


def check_ghz(make, size: int, rounds: int, rng: random.Random, label: str) -> bool:
    print(f"GHZ state of {size} qubits {label}, {rounds} fresh states per check")
    ok = True
    started = time.perf_counter()
    agreeing, common_values = 0, []
    for _ in range(rounds):
        simulator = korvane.Korvane(2 * size)
        qubits = make(simulator, size)
        if simulator.get_entangled_group(qubits[0]) != set(qubits):
            ok = False
        results = [int(simulator.measure_z(qubit)) for qubit in rng.sample(qubits, size)]
        agreeing += len(set(results)) == 1
        common_values.append(results[0])
    elapsed = time.perf_counter() - started
    print(
        f"  build, then Z on every qubit in random order, all equal: {agreeing}/{rounds}"
        f" (+1 in {common_values.count(0)}, -1 in {common_values.count(1)})   {elapsed:7.3f} s"
    )
    ok &= agreeing == rounds

    for y_count, expected_parity in ((0, 0), (2, 1)):
        started = time.perf_counter()
        matching = 0
        for _ in range(rounds):
            simulator = korvane.Korvane(2 * size)
            qubits = make(simulator, size)
            y_qubits = set(rng.sample(qubits, y_count))
            parity = 0
            for qubit in rng.sample(qubits, size):
                measure = simulator.measure_y if qubit in y_qubits else simulator.measure_x
                parity ^= int(measure(qubit))
            matching += parity == expected_parity
        elapsed = time.perf_counter() - started
        label = "X on all" if y_count == 0 else "Y on two, X on the rest"
        sign = "+1" if expected_parity == 0 else "-1"
        print(
            f"  build, then {label}: product of outcomes {sign} in {matching}/{rounds}"
            f"   {elapsed:7.3f} s"
        )
        ok &= matching == rounds
    return ok


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wire", type=int, default=1_000_000, help="cluster wire length")
    parser.add_argument("--ghz", type=int, default=100_000, help="GHZ state size")
    parser.add_argument("--rounds", type=int, default=10, help="GHZ states per check")
    parser.add_argument("--seed", type=int, default=2024, help="seed for the random choices")
    options = parser.parse_args()
    rng = random.Random(options.seed)

    started = time.perf_counter()
    ok = demo_teleportation(options.wire, rng)
    rounds = options.rounds
    ok &= check_ghz(ghz_from_cluster, options.ghz, rounds, rng, "from a measured cluster chain")
    ok &= check_ghz(ghz_from_circuit, options.ghz, rounds, rng, "from h and a cx chain")
    verdict = "all checks passed" if ok else "CHECKS FAILED"
    print(f"total {time.perf_counter() - started:.3f} s: {verdict}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
