"""A dense state-vector simulator used as an independent reference for korvane.

Every gate is its full matrix: single-qubit gates are written out, and each two-qubit gate of the
controlled family is built as P+ (x) I + P- (x) T, where P+/P- project the control onto the +1/-1
eigenspace of its Pauli and T is the target's Pauli. Nothing here mirrors how korvane works inside.
Qubit q is axis q of an array of shape (2,) * n.
"""

from __future__ import annotations

import itertools

import numpy as np

AXIS_X, AXIS_Y, AXIS_Z = 0, 1, 2
AXES = (AXIS_X, AXIS_Y, AXIS_Z)
AXIS_NAMES = "xyz"

IDENTITY = np.eye(2, dtype=complex)
PAULI = (
    np.array([[0, 1], [1, 0]], dtype=complex),
    np.array([[0, -1j], [1j, 0]], dtype=complex),
    np.array([[1, 0], [0, -1]], dtype=complex),
)

SINGLE_QUBIT_GATES = {
    "x": PAULI[AXIS_X],
    "y": PAULI[AXIS_Y],
    "z": PAULI[AXIS_Z],
    "h": np.array([[1, 1], [1, -1]], dtype=complex) / np.sqrt(2),
    "s": np.array([[1, 0], [0, 1j]], dtype=complex),
    "sdag": np.array([[1, 0], [0, -1j]], dtype=complex),
}

# Two-qubit gate name -> (Pauli whose -1 eigenspace of the control triggers, Pauli put on target).
CONTROLLED_GATES = {
    "cz": (AXIS_Z, AXIS_Z),
    "cx": (AXIS_Z, AXIS_X),
    "cy": (AXIS_Z, AXIS_Y),
    "xcx": (AXIS_X, AXIS_X),
    "xcy": (AXIS_X, AXIS_Y),
    "xcz": (AXIS_X, AXIS_Z),
    "ycx": (AXIS_Y, AXIS_X),
    "ycy": (AXIS_Y, AXIS_Y),
    "ycz": (AXIS_Y, AXIS_Z),
}

TOLERANCE = 1e-9


def projector(axis: int, bit: int) -> np.ndarray:
    """Projector onto the eigenvalue (-1)**bit of the Pauli on `axis`."""
    sign = -1 if bit else 1
    return (IDENTITY + sign * PAULI[axis]) / 2


def controlled_matrix(control_axis: int, target_axis: int) -> np.ndarray:
    """4x4 matrix on (control, target): the target Pauli acts when the control reads -1."""
    return np.kron(projector(control_axis, 0), IDENTITY) + np.kron(
        projector(control_axis, 1), PAULI[target_axis]
    )


def applied(amplitudes: np.ndarray, matrix: np.ndarray, qubits: tuple[int, ...]) -> np.ndarray:
    """`matrix` applied to the tensor axes `qubits` of `amplitudes`, as a new array."""
    k = len(qubits)
    tensor = matrix.reshape((2,) * (2 * k))
    moved = np.tensordot(tensor, amplitudes, axes=(list(range(k, 2 * k)), list(qubits)))
    return np.moveaxis(moved, list(range(k)), list(qubits))


class StateVector:
    """n qubits, starting in |0...0>."""

    def __init__(self, qubit_amount: int):
        self.qubit_amount = qubit_amount
        self.amplitudes = np.zeros((2,) * qubit_amount, dtype=complex)
        self.amplitudes[(0,) * qubit_amount] = 1.0

    @classmethod
    def from_vector(cls, vector) -> StateVector:
        vector = np.asarray(vector, dtype=complex)
        qubit_amount = int(round(np.log2(vector.size)))
        state = cls(qubit_amount)
        # Amplitude index bits are read with qubit 0 as the most significant bit.
        state.amplitudes = (vector / np.linalg.norm(vector)).reshape((2,) * qubit_amount)
        return state

    def copy(self) -> StateVector:
        other = StateVector(0)
        other.qubit_amount = self.qubit_amount
        other.amplitudes = self.amplitudes.copy()
        return other

    def vector(self) -> np.ndarray:
        return self.amplitudes.reshape(-1)

    def apply_matrix(self, matrix: np.ndarray, qubits: tuple[int, ...]) -> None:
        """Apply a 2^k x 2^k matrix to `qubits` (the first qubit is the most significant)."""
        self.amplitudes = applied(self.amplitudes, matrix, qubits)

    def apply(self, gate: str, *qubits: int) -> None:
        """Apply a gate by its korvane method name: ("h", q) or ("cx", control, target)."""
        if gate in SINGLE_QUBIT_GATES:
            (qubit,) = qubits
            self.apply_matrix(SINGLE_QUBIT_GATES[gate], (qubit,))
        else:
            control, target = qubits
            if control == target:
                raise ValueError("control and target must differ")
            self.apply_matrix(controlled_matrix(*CONTROLLED_GATES[gate]), (control, target))

    def probability(self, qubit: int, axis: int, bit: int) -> float:
        """Probability that measuring `axis` on `qubit` gives (-1)**bit."""
        projected = applied(self.amplitudes, projector(axis, bit), (qubit,))
        return float(np.vdot(projected, projected).real)

    def certain_outcome(self, qubit: int, axis: int) -> int | None:
        """The bit that measuring `axis` on `qubit` gives with certainty, or None if random."""
        plus = self.probability(qubit, axis, 0)
        if plus > 1 - TOLERANCE:
            return 0
        if plus < TOLERANCE:
            return 1
        return None

    def project(self, qubit: int, axis: int, bit: int) -> None:
        """Collapse onto the outcome (-1)**bit of `axis` on `qubit`; it must be possible."""
        weight = self.probability(qubit, axis, bit)
        if weight < TOLERANCE:
            raise ValueError(
                f"outcome {bit} of {AXIS_NAMES[axis]} on qubit {qubit} has probability {weight}"
            )
        self.apply_matrix(projector(axis, bit), (qubit,))
        self.amplitudes /= np.sqrt(weight)

    def pauli_image(self, pauli: str) -> np.ndarray:
        """P|psi> for a Pauli string such as "-X_Z" (optional sign, then qubit 0 first)."""
        amplitudes = self.amplitudes
        for qubit, letter in enumerate(pauli.lstrip("+-")):
            if letter in "XYZ":
                amplitudes = applied(amplitudes, PAULI["XYZ".index(letter)], (qubit,))
        return -amplitudes if pauli.startswith("-") else amplitudes

    def pauli_expectation(self, pauli: str) -> float:
        return float(np.vdot(self.amplitudes, self.pauli_image(pauli)).real)

    def project_pauli(self, pauli: str, bit: int) -> None:
        """Collapse onto the eigenvalue (-1)**bit of the Pauli string; it must be possible."""
        projected = (self.amplitudes + (-1) ** bit * self.pauli_image(pauli)) / 2
        weight = float(np.vdot(projected, projected).real)
        if weight < TOLERANCE:
            raise ValueError(f"outcome {bit} of {pauli} has probability {weight}")
        self.amplitudes = projected / np.sqrt(weight)

    def schmidt_rank(self, part: set[int] | frozenset[int]) -> int:
        """Schmidt rank of the state across the cut (part, rest)."""
        part_list = sorted(part)
        rest = [q for q in range(self.qubit_amount) if q not in part]
        matrix = np.transpose(self.amplitudes, part_list + rest).reshape(
            2 ** len(part_list), 2 ** len(rest)
        )
        singular_values = np.linalg.svd(matrix, compute_uv=False)
        return int(np.sum(singular_values > 1e-7))

    def is_tensor_factor(self, part: set[int] | frozenset[int]) -> bool:
        """Whether the state is a product of a state on `part` and a state on the rest."""
        return self.schmidt_rank(part) == 1

    def smallest_factor(self, qubit: int) -> set[int]:
        """The smallest set of qubits holding `qubit` that is a tensor factor of the state.

        For a pure state the factors are closed under intersection, so the first factor found
        by increasing size is the unique smallest one.
        """
        others = [q for q in range(self.qubit_amount) if q != qubit]
        for size in range(len(others) + 1):
            for chosen in itertools.combinations(others, size):
                part = {qubit, *chosen}
                if self.is_tensor_factor(part):
                    return part
        raise AssertionError("the whole register is always a factor")

    def equal_up_to_phase(self, other: StateVector) -> bool:
        overlap = abs(np.vdot(self.vector(), other.vector()))
        return bool(abs(overlap - 1) < 1e-7)

    def single_qubit_state(self, qubit: int) -> np.ndarray:
        """The state of `qubit` as a 2-vector; the qubit must be a tensor factor on its own."""
        if not self.is_tensor_factor({qubit}):
            raise ValueError(f"qubit {qubit} is entangled")
        moved = np.moveaxis(self.amplitudes, qubit, 0).reshape(2, -1)
        column = moved[:, int(np.argmax(np.abs(moved).max(axis=0)))]
        return column / np.linalg.norm(column)


def eigenstate(axis: int, bit: int) -> np.ndarray:
    """The single-qubit eigenvector of the Pauli on `axis` with eigenvalue (-1)**bit."""
    values, vectors = np.linalg.eigh(PAULI[axis])
    wanted = -1 if bit else 1
    return vectors[:, int(np.argmin(np.abs(values - wanted)))]


class Mirror:
    """Drives a korvane register and a reference state side by side.

    Gates go to both. A measurement is performed on korvane; its outcome must be possible in the
    reference, which is then projected on it, so both keep standing for the same state.
    """

    def __init__(self, simulator, qubit_amount: int):
        self.simulator = simulator
        self.reference = StateVector(qubit_amount)

    def apply(self, gate: str, *qubits: int) -> None:
        getattr(self.simulator, gate)(*qubits)
        self.reference.apply(gate, *qubits)

    def measure(self, qubit: int, axis: int) -> int:
        result = getattr(self.simulator, "measure_" + AXIS_NAMES[axis])(qubit)
        bit = int(result)
        assert result == bit and bit in (0, 1)
        weight = self.reference.probability(qubit, axis, bit)
        assert weight > TOLERANCE, (
            f"korvane measured {bit} for {AXIS_NAMES[axis]} on qubit {qubit}, "
            f"which the reference gives probability {weight}"
        )
        self.reference.project(qubit, axis, bit)
        return bit

    def run(self, operations) -> None:
        """Perform ("measure", qubit, axis) and gate operations in order."""
        for operation in operations:
            if operation[0] == "measure":
                self.measure(operation[1], operation[2])
            else:
                self.apply(*operation)


GATE_NAMES = tuple(SINGLE_QUBIT_GATES) + tuple(CONTROLLED_GATES)


def random_circuit(rng, qubit_amount: int, length: int, measure_chance: float = 0.0):
    """A list of `length` random operations drawn with the `random.Random` instance `rng`."""
    operations = []
    for _ in range(length):
        if qubit_amount > 0 and rng.random() < measure_chance:
            operations.append(("measure", rng.randrange(qubit_amount), rng.choice(AXES)))
        elif qubit_amount >= 2 and rng.random() < 0.5:
            control, target = rng.sample(range(qubit_amount), 2)
            operations.append((rng.choice(tuple(CONTROLLED_GATES)), control, target))
        else:
            operations.append((rng.choice(tuple(SINGLE_QUBIT_GATES)), rng.randrange(qubit_amount)))
    return operations


def find_measurement_order(state: StateVector, outcomes: dict[int, tuple[int, int]]):
    """An order in which measuring each qubit on its axis can give its bit, or None.

    `outcomes` maps qubit -> (bit, axis). A qubit that is a tensor factor on its own when its turn
    comes must carry an axis on which it is certain. Depth-first search with pruning.
    """

    def extend(current: StateVector, remaining: list[int], order: list[int]):
        if not remaining:
            return order
        for qubit in remaining:
            bit, axis = outcomes[qubit]
            weight = current.probability(qubit, axis, bit)
            if weight < TOLERANCE:
                continue
            if current.is_tensor_factor({qubit}) and weight < 1 - TOLERANCE:
                continue
            following = current.copy()
            following.project(qubit, axis, bit)
            found = extend(following, [q for q in remaining if q != qubit], order + [qubit])
            if found is not None:
                return found
        return None

    return extend(state.copy(), sorted(outcomes), [])


# The circuit format's instructions that korvane and other stabilizer tools read alike, by kind.
CIRCUIT_CLIFFORDS = ("I", "X", "Y", "Z", "H", "S", "S_DAG", "SQRT_X", "SQRT_X_DAG", "SQRT_Y",
                     "SQRT_Y_DAG", "H_XY", "H_YZ", "C_XYZ", "C_ZYX", "C_NXYZ", "C_NZYX", "C_XNYZ",
                     "C_XYNZ", "C_ZNYX", "C_ZYNX", "H_NXY", "H_NXZ", "H_NYZ")
CIRCUIT_PAIRS = ("CX", "CY", "CZ", "XCX", "XCY", "XCZ", "YCX", "YCY", "YCZ", "SWAP", "CXSWAP",
                 "SWAPCX", "CZSWAP", "ISWAP", "ISWAP_DAG", "SQRT_XX", "SQRT_XX_DAG", "SQRT_YY",
                 "SQRT_YY_DAG", "SQRT_ZZ", "SQRT_ZZ_DAG", "II")
CIRCUIT_MEASUREMENTS = ("M", "MX", "MY", "MR", "MRX", "MRY")
CIRCUIT_PAIR_MEASUREMENTS = ("MXX", "MYY", "MZZ")
CIRCUIT_RESETS = ("R", "RX", "RY")
CIRCUIT_NOISE = ("X_ERROR", "Y_ERROR", "Z_ERROR", "DEPOLARIZE1", "DEPOLARIZE2", "PAULI_CHANNEL_1",
                 "PAULI_CHANNEL_2", "HERALDED_ERASE", "HERALDED_PAULI_CHANNEL_1", "I_ERROR",
                 "II_ERROR")


def random_circuit_text(rng, qubit_amount: int, length: int, noise: bool = False,
                        resets: bool = True, channels: tuple[str, ...] = CIRCUIT_NOISE) -> str:
    """A circuit of about `length` random lines in the text format, drawn with `rng`: Cliffords,
    two-qubit Cliffords, measurements of qubits (some targets inverted), of pairs and of Pauli
    products, square roots of Pauli products, measurements with a reset, MPAD, Paulis fed back from
    the record, some lines in REPEAT blocks; with `resets`, resets (whose collapse nothing records);
    with `noise`, the `channels` (Pauli channels, heralded ones) and measurement flips. Qubit indices
    lie below `qubit_amount` (at least 2)."""
    lines: list[str] = []
    recorded = 0  # measurements before this point on a first pass

    def qubits(most: int) -> str:
        chosen = rng.sample(range(qubit_amount), rng.randint(1, min(most, qubit_amount)))
        return " ".join(map(str, chosen))

    def inverted(target) -> str:
        return ("!" if rng.random() < 0.2 else "") + str(target)

    def probability() -> str:
        return f"{rng.choice((0.02, 0.05, 0.1, 0.25))}"

    def flip() -> str:
        return f"({probability()})" if noise and rng.random() < 0.3 else ""

    def products(amount: int) -> list[str]:
        """Products of Pauli factors on distinct qubits, some inverted."""
        return ["*".join(inverted(rng.choice("XYZ") + str(q))
                         for q in rng.sample(range(qubit_amount), rng.randint(1, min(3, qubit_amount))))
                for _ in range(amount)]

    def instruction() -> str:
        nonlocal recorded
        roll = rng.random()
        if roll < 0.3:
            return f"{rng.choice(CIRCUIT_CLIFFORDS)} {qubits(3)}"
        if roll < 0.5:
            pairs = [rng.sample(range(qubit_amount), 2) for _ in range(rng.randint(1, 2))]
            return f"{rng.choice(CIRCUIT_PAIRS)} " + " ".join(f"{a} {b}" for a, b in pairs)
        if roll < 0.62:
            targets = [inverted(q) for q in qubits(3).split()]
            recorded += len(targets)
            return f"{rng.choice(CIRCUIT_MEASUREMENTS)}{flip()} {' '.join(targets)}"
        if roll < 0.7:
            if rng.random() < 0.5:
                written = products(rng.randint(1, 2))
                recorded += len(written)
                return f"MPP{flip()} {' '.join(written)}"
            pair = [inverted(q) for q in rng.sample(range(qubit_amount), 2)]
            recorded += 1
            return f"{rng.choice(CIRCUIT_PAIR_MEASUREMENTS)}{flip()} {' '.join(pair)}"
        if roll < 0.74:
            return f"{rng.choice(('SPP', 'SPP_DAG'))} {' '.join(products(rng.randint(1, 2)))}"
        if roll < 0.76:
            bits = [rng.choice("01") for _ in range(rng.randint(1, 2))]
            recorded += len(bits)
            return f"MPAD{flip()} {' '.join(bits)}"
        if roll < 0.82 and resets:
            return f"{rng.choice(CIRCUIT_RESETS)} {qubits(2)}"
        if roll < 0.9 and recorded:
            record, qubit = f"rec[-{rng.randint(1, min(recorded, 4))}]", rng.randrange(qubit_amount)
            if rng.random() < 0.2:
                return f"CZ {qubit} {record}"
            return f"{rng.choice(('CX', 'CY', 'CZ'))} {record} {qubit}"
        if noise:
            name = rng.choice(channels)
            if name in ("DEPOLARIZE2", "II_ERROR"):
                a, b = rng.sample(range(qubit_amount), 2)
                return f"{name}({probability()}) {a} {b}"
            if name == "PAULI_CHANNEL_2":
                a, b = rng.sample(range(qubit_amount), 2)
                given = [0.0] * 15
                for k in rng.sample(range(15), 3):
                    given[k] = float(probability())
                return f"PAULI_CHANNEL_2({', '.join(map(str, given))}) {a} {b}"
            if name == "PAULI_CHANNEL_1":
                return f"PAULI_CHANNEL_1({probability()}, 0, {probability()}) {qubits(2)}"
            targets = qubits(2)
            if name == "HERALDED_PAULI_CHANNEL_1":
                recorded += len(targets.split())
                return f"{name}({probability()}, 0, {probability()}, {probability()}) {targets}"
            if name == "HERALDED_ERASE":
                recorded += len(targets.split())
            return f"{name}({probability()}) {targets}"
        return "TICK"

    while len(lines) < length:
        if rng.random() < 0.05:
            body = [instruction() for _ in range(rng.randint(1, 4))]
            lines += [f"REPEAT {rng.randint(2, 3)} {{", *("    " + line for line in body), "}"]
        else:
            lines.append(instruction())
    return "\n".join(lines) + "\n"
