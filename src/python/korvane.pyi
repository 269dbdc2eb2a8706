"""Graph-state based quantum circuit simulator exposed as the `korvane` Python module."""

import os
from collections.abc import Buffer, Iterable, Iterator, Mapping, Sequence
from typing import IO, ClassVar, Literal, Self, SupportsIndex, final, overload

import numpy as np
import numpy.typing as npt
from numpy.typing import ArrayLike, NDArray

__all__ = ["MeasurementResult", "Outcome", "Axis", "Korvane"]

@final
class MeasurementResult:
    """Result of a single-qubit measurement.

    Exposed to Python as `korvane.MeasurementResult`.
    """

    PlusOne: ClassVar[MeasurementResult]
    MinusOne: ClassVar[MeasurementResult]
    # Equal by value to another MeasurementResult or to an int (PlusOne == 0, MinusOne == 1).
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...

@final
class Outcome:
    """Measurement outcome and the axis that was measured.

    Returned in the values of `peek_measure_set`.
    """

    @property
    def result(self) -> MeasurementResult: ...
    @property
    def axis(self) -> Axis: ...

@final
class Axis:
    X: ClassVar[Axis]
    Y: ClassVar[Axis]
    Z: ClassVar[Axis]
    # Equal by value to another Axis or to an int (X == 0, Y == 1, Z == 2).
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...

@final
class Korvane:
    """Simulator for graph states over a fixed number of qubits.

    Use this class from Python to apply gates and perform measurements.
    """

    def __new__(cls, qubit_amount: SupportsIndex) -> Self: ...
    # Generated from the gate table (src/circuit/gates/gate_table.h); a C++ test keeps it current.
    def x(self, qubit: SupportsIndex) -> None: ...
    def y(self, qubit: SupportsIndex) -> None: ...
    def z(self, qubit: SupportsIndex) -> None: ...
    def h(self, qubit: SupportsIndex) -> None: ...
    def s(self, qubit: SupportsIndex) -> None: ...
    def sdag(self, qubit: SupportsIndex) -> None: ...
    def cz(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def cx(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def xcx(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def ycx(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def xcz(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def ycz(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def cy(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def xcy(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def ycy(self, control: SupportsIndex, target: SupportsIndex) -> None: ...
    def measure_x(self, qubit: SupportsIndex) -> MeasurementResult: ...
    def measure_y(self, qubit: SupportsIndex) -> MeasurementResult: ...
    def measure_z(self, qubit: SupportsIndex) -> MeasurementResult: ...
    # End of the methods generated from the gate table.
    def get_entangled_group(self, qubit: SupportsIndex) -> set[int]: ...
    # Only a set or a frozenset (or a subclass of either) is accepted, not any iterable.
    def peek_measure_set[Q: SupportsIndex](
        self, qubits: set[Q] | frozenset[Q]
    ) -> dict[int, Outcome]: ...

    # Beside the twenty methods above: whole states in and out, Pauli products, reset and swap.
    def copy(self) -> Korvane: ...
    def __copy__(self) -> Korvane: ...
    def __deepcopy__(self, memo: object, /) -> Korvane: ...
    def __getstate__(self) -> bytes: ...
    # Refuses (ValueError) anything but the saved form of a register of the same size.
    def __setstate__(self, state: Buffer, /) -> None: ...
    def __reduce__(self) -> tuple[type[Korvane], tuple[int], bytes]: ...
    # The same saved form; from_bytes and load check everything, so data from anywhere is safe.
    def to_bytes(self) -> bytes: ...
    @classmethod
    def from_bytes(cls, data: Buffer, /) -> Self: ...
    def save(self, path: str | bytes | os.PathLike[str] | os.PathLike[bytes], /) -> None: ...
    @classmethod
    def load(cls, path: str | bytes | os.PathLike[str] | os.PathLike[bytes], /) -> Self: ...
    # (edges of shape (E, 2), sorted, smaller qubit first; one VOP index 0..23 per qubit).
    def graph(self) -> tuple[NDArray[np.int64], NDArray[np.uint8]]: ...
    # edges: one (E, 2) array, or chunks of them (an iterator, or a list of 2-D arrays).
    @classmethod
    def from_graph(
        cls,
        qubit_amount: SupportsIndex,
        edges: ArrayLike | Iterator[ArrayLike] | list[NDArray[np.integer]],
        vops: ArrayLike | None = None,
    ) -> Self: ...
    # All or nothing: ValueError (or KeyboardInterrupt) leaves the register as it was.
    def add_edges(self, edges: ArrayLike) -> None: ...
    # Site (i, j, k) of shape (a, b, c) is qubit (i * b + j) * c + k.
    @classmethod
    def cluster(
        cls, shape: SupportsIndex | Sequence[SupportsIndex], periodic: bool | Sequence[bool] = False
    ) -> Self: ...
    def stabilizers(self) -> list[str]: ...
    # A str such as "-X_ZZ" (qubit 0 first) or a dict such as {3: "X", 7: "Z"}.
    def peek_pauli[Q: SupportsIndex](self, pauli: str | dict[Q, str]) -> int: ...
    def measure_pauli[Q: SupportsIndex](self, pauli: str | dict[Q, str]) -> MeasurementResult: ...
    def reset(self, qubit: SupportsIndex) -> None: ...
    def swap(self, a: SupportsIndex, b: SupportsIndex) -> None: ...
    @property
    def qubit_amount(self) -> int: ...
    def __len__(self) -> int: ...
    # The measurement record, one bool per recorded bit; ValueError when the circuit names a
    # qubit at or above the register size (nothing changes then). Ctrl-C: KeyboardInterrupt, the
    # register as it was after the last whole instruction.
    def run(self, circuit: Circuit) -> npt.NDArray[np.bool_]: ...
    # The SVG text, or None when written to `path`. layout: a name or {qubit: (x, y)}.
    @overload
    def draw(
        self,
        path: None = None,
        *,
        qubits: Iterable[SupportsIndex] | None = None,
        layout: Literal["auto", "coords", "grid", "spring", "circle"]
        | Mapping[int, tuple[float, float]] = "auto",
    ) -> str: ...
    @overload
    def draw(
        self,
        path: str | os.PathLike[str] | os.PathLike[bytes],
        *,
        qubits: Iterable[SupportsIndex] | None = None,
        layout: Literal["auto", "coords", "grid", "spring", "circle"]
        | Mapping[int, tuple[float, float]] = "auto",
    ) -> None: ...

# Beside the four classes of __all__: reached as korvane.Circuit.
@final
class Circuit:
    """A circuit in the common stabilizer-circuit text format, compiled once.

    str() gives its canonical text, which reads back to the same circuit. Raises ValueError,
    naming the line, for text it cannot read.
    """

    def __new__(cls, text: str) -> Self: ...
    @classmethod
    def from_file(cls, path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> Self: ...
    # OpenQASM 2.0 or 3; ValueError naming the line for what korvane does not run.
    @classmethod
    def from_qasm(cls, text: str) -> Self: ...
    @classmethod
    def from_qasm_file(cls, path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> Self: ...
    def to_qasm(self, version: Literal[2, 3] = 2) -> str: ...
    # Empty for a circuit of the text format. A bit never measured into maps to None.
    @property
    def qubit_registers(self) -> dict[str, tuple[int, ...]]: ...
    @property
    def bit_registers(self) -> dict[str, tuple[int | None, ...]]: ...
    # The SVG text, or None when written to `path`.
    @overload
    def diagram(self, path: None = None) -> str: ...
    @overload
    def diagram(self, path: str | os.PathLike[str] | os.PathLike[bytes]) -> None: ...
    @property
    def num_qubits(self) -> int: ...
    @property
    def num_measurements(self) -> int: ...
    @property
    def num_detectors(self) -> int: ...
    @property
    def num_observables(self) -> int: ...
    # Shape (shots, num_measurements). seed: None (drawn from the calling thread's generator) or
    # 0 <= seed < 2**64.
    # method: Pauli frames beside one reference run, or every shot on the graph engine.
    @overload
    def sample(
        self,
        shots: SupportsIndex,
        *,
        seed: SupportsIndex | None = None,
        method: Literal["frames", "shots"] = "frames",
        bit_packed: Literal[False] = False,
    ) -> npt.NDArray[np.bool_]: ...
    # bit_packed: rows of ceil(num_measurements / 8) bytes, bit k in byte k // 8 (as in b8).
    @overload
    def sample(
        self,
        shots: SupportsIndex,
        *,
        seed: SupportsIndex | None = None,
        method: Literal["frames", "shots"] = "frames",
        bit_packed: Literal[True],
    ) -> npt.NDArray[np.uint8]: ...
    @overload
    def sample(
        self,
        shots: SupportsIndex,
        *,
        seed: SupportsIndex | None = None,
        method: Literal["frames", "shots"] = "frames",
        bit_packed: bool = False,
    ) -> npt.NDArray[np.bool_] | npt.NDArray[np.uint8]: ...
    # (detectors, observables) of shapes (shots, num_detectors) and (shots, num_observables).
    @overload
    def sample_detectors(
        self,
        shots: SupportsIndex,
        *,
        seed: SupportsIndex | None = None,
        method: Literal["frames", "shots"] = "frames",
        bit_packed: Literal[False] = False,
    ) -> tuple[npt.NDArray[np.bool_], npt.NDArray[np.bool_]]: ...
    @overload
    def sample_detectors(
        self,
        shots: SupportsIndex,
        *,
        seed: SupportsIndex | None = None,
        method: Literal["frames", "shots"] = "frames",
        bit_packed: Literal[True],
    ) -> tuple[npt.NDArray[np.uint8], npt.NDArray[np.uint8]]: ...
    @overload
    def sample_detectors(
        self,
        shots: SupportsIndex,
        *,
        seed: SupportsIndex | None = None,
        method: Literal["frames", "shots"] = "frames",
        bit_packed: bool = False,
    ) -> tuple[npt.NDArray[np.bool_], npt.NDArray[np.bool_]] | tuple[
        npt.NDArray[np.uint8], npt.NDArray[np.uint8]
    ]: ...
    def __reduce__(self) -> tuple[type[Circuit], tuple[str]]: ...
    # Equal when they are the same circuit, whatever the spacing, comments and aliases of the text.
    def __eq__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...
    # (detectors, observables) of given records: bools in, bools out; uint8 bit-packed in, out.
    def detection_events(
        self, measurements: ArrayLike
    ) -> tuple[npt.NDArray[np.bool_], npt.NDArray[np.bool_]] | tuple[
        npt.NDArray[np.uint8], npt.NDArray[np.uint8]
    ]: ...
    # Every noise mechanism as an independent error; ValueError naming the line for a detector
    # that is random without noise, or an error with no graphlike decomposition when asked.
    def detector_error_model(
        self, *, decompose_errors: bool = False, flatten_loops: bool = False
    ) -> DetectorErrorModel: ...
    @classmethod
    def generated(
        cls,
        kind: Literal[
            "repetition_code:memory",
            "surface_code:rotated_memory_x",
            "surface_code:rotated_memory_z",
            "surface_code:unrotated_memory_x",
            "surface_code:unrotated_memory_z",
            "cluster_state:mbqc_2d",
        ],
        *,
        distance: SupportsIndex,
        rounds: SupportsIndex,
        after_clifford_depolarization: float = 0.0,
        before_round_data_depolarization: float = 0.0,
        before_measure_flip_probability: float = 0.0,
        after_reset_flip_probability: float = 0.0,
        bases: str | None = None,
        seed: SupportsIndex | None = None,
    ) -> Self: ...

# Beside the four classes of __all__: reached as korvane.DetectorErrorModel.
@final
class DetectorErrorModel:
    """A detector error model: independent error mechanisms, each with its probability and the detectors and logical observables it flips, in the text format that decoders read (`error(p) D0 D5 L0`, `detector(...)`, `logical_observable`, `shift_detectors`, `repeat N { ... }`, `^` between the suggested parts of an error).

    str() gives its canonical text. Raises ValueError, naming the line, for text it cannot read.
    """

    def __new__(cls, text: str) -> Self: ...
    @classmethod
    def from_file(cls, path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> Self: ...
    @property
    def num_detectors(self) -> int: ...
    @property
    def num_observables(self) -> int: ...
    @property
    def num_errors(self) -> int: ...
    def flattened(self) -> DetectorErrorModel: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __reduce__(self) -> tuple[type[DetectorErrorModel], tuple[str]]: ...

type _ShotFormat = Literal["01", "b8", "r8", "hits", "dets", "ptb64"]
type _ShotFile = str | bytes | os.PathLike[str] | os.PathLike[bytes] | IO[bytes]

# Rows of bools, or of uint8 bytes bit-packed as in b8.
def write_shots(
    data: ArrayLike,
    path: _ShotFile,
    format: _ShotFormat,
    *,
    num_measurements: SupportsIndex = 0,
    num_detectors: SupportsIndex = 0,
    num_observables: SupportsIndex = 0,
) -> None: ...
def read_shots(
    path: _ShotFile,
    format: _ShotFormat,
    *,
    num_measurements: SupportsIndex = 0,
    num_detectors: SupportsIndex = 0,
    num_observables: SupportsIndex = 0,
    bit_packed: bool = False,
) -> npt.NDArray[np.bool_] | npt.NDArray[np.uint8]: ...
