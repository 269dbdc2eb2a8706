"""The pictures of the README, made by the module: a cluster state before and after a few
single-qubit measurements (measurement-based computing in miniature), and the timeline of a
repetition-code memory experiment.

Run from the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/pictures.py [--out docs/pictures]
"""

import argparse
import pathlib

import numpy as np

from korvane import Circuit, Korvane

REPETITION_MEMORY = """\
QUBIT_COORDS(0) 0
QUBIT_COORDS(1) 1
QUBIT_COORDS(2) 2
QUBIT_COORDS(3) 3
QUBIT_COORDS(4) 4
R 0 1 2 3 4
TICK
CX 0 1 2 3
DEPOLARIZE2(0.001) 0 1 2 3
TICK
CX 2 1 4 3
DEPOLARIZE2(0.001) 2 1 4 3
TICK
X_ERROR(0.001) 1 3
MR 1 3
DETECTOR(1, 0) rec[-2]
DETECTOR(3, 0) rec[-1]
REPEAT 9 {
    TICK
    CX 0 1 2 3
    DEPOLARIZE2(0.001) 0 1 2 3
    TICK
    CX 2 1 4 3
    DEPOLARIZE2(0.001) 2 1 4 3
    TICK
    X_ERROR(0.001) 1 3
    MR 1 3
    SHIFT_COORDS(0, 1)
    DETECTOR(1, 0) rec[-2] rec[-4]
    DETECTOR(3, 0) rec[-1] rec[-3]
}
X_ERROR(0.001) 0 2 4
M 0 2 4
DETECTOR(1, 1) rec[-2] rec[-3] rec[-5]
DETECTOR(3, 1) rec[-1] rec[-2] rec[-4]
OBSERVABLE_INCLUDE(0) rec[-1]
"""


def cluster(rows: int, columns: int) -> Korvane:
    """The 2D cluster state: |+> everywhere, CZ along the grid."""
    edges = [(r * columns + c, r * columns + c + 1) for r in range(rows) for c in range(columns - 1)]
    edges += [(r * columns + c, (r + 1) * columns + c) for r in range(rows - 1) for c in range(columns)]
    return Korvane.from_graph(rows * columns, np.array(edges))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path("docs/pictures"))
    out: pathlib.Path = parser.parse_args().out
    out.mkdir(parents=True, exist_ok=True)

    sim = cluster(4, 5)
    sim.draw(out / "cluster_before.svg", layout="grid")
    # A Z measurement cuts a qubit out; X and Y measurements join its neighbours to each other
    # (a local complementation), leaving local Cliffords on them.
    measured = {7: sim.measure_z, 11: sim.measure_x, 13: sim.measure_y}
    for qubit, measure in measured.items():
        measure(qubit)
    sim.draw(out / "cluster_after.svg", layout="grid")
    after = (out / "cluster_after.svg").read_text()
    # The measured qubits leave the graph, and with them the picture.
    assert all(sim.get_entangled_group(q) == {q} for q in measured)
    assert all(f'data-qubit="{q}"' not in after for q in measured)
    assert all(f'data-qubit="{q}"' in after for q in set(range(20)) - set(measured))

    memory = Circuit(REPETITION_MEMORY)
    memory.diagram(out / "repetition_memory.svg")
    assert (out / "repetition_memory.svg").read_text().count('data-gate="MR"') == 4
    assert not memory.sample_detectors(1000, seed=1)[0].mean() > 0.05
    print(f"pictures written to {out}; all checks passed")


if __name__ == "__main__":
    main()
