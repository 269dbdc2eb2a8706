"""Korvane.draw and Circuit.diagram: what is drawn (vertices, edges, labels, frames), the layouts,
the refusals, and the pictures rendered by headless Chromium with every label on them."""

import re

import numpy as np
import pytest

from browser import assert_drawn, assert_labels_shown, render
from korvane import Circuit, Korvane


def cluster(rows, columns):
    edges = [(r * columns + c, r * columns + c + 1) for r in range(rows) for c in range(columns - 1)]
    edges += [(r * columns + c, (r + 1) * columns + c) for r in range(rows - 1) for c in range(columns)]
    return Korvane.from_graph(rows * columns, np.array(edges))


def vertices(svg):
    """{qubit: (x, y, vop name)} of the drawn vertices."""
    found = {}
    for group in re.findall(r'<g class="vertex".*?</g>', svg):
        qubit = int(re.search(r'data-qubit="(\d+)"', group)[1])
        vop = re.search(r'data-vop="(\w+)"', group)[1]
        x, y = re.search(r'<circle cx="([-\d.]+)" cy="([-\d.]+)"', group).groups()
        found[qubit] = (float(x), float(y), vop)
    return found


def edge_count(svg):
    return len(re.findall(r"<line x1", svg.split('font-size="12"')[0]))


class TestDraw:
    def test_vertices_edges_and_vop_names(self):
        sim = cluster(3, 4)
        sim.h(5)
        sim.s(6)
        svg = sim.draw()
        drawn = vertices(svg)
        assert sorted(drawn) == list(range(12)) and edge_count(svg) == 17
        assert (drawn[5][2], drawn[6][2], drawn[0][2]) == ("H", "S", "I")
        # A lattice is drawn on its grid: rows of 4, in index order.
        assert drawn[1][1] == drawn[0][1] < drawn[4][1] and drawn[4][0] == drawn[0][0]

    def test_every_vop_has_its_name(self):
        names = set()
        for vop in range(24):
            sim = Korvane.from_graph(2, np.array([(0, 1)]), np.array([vop, 0]))
            names.add(vertices(sim.draw())[0][2])
        assert len(names) == 24 and {"C_XYZ", "SQRT_Y_DAG", "H_NYZ", "C_NXYZ"} <= names

    def test_isolated_qubits_are_hidden_unless_asked_for(self):
        sim = Korvane(6)
        for q in (0, 1, 2):
            sim.h(q)
        sim.cz(0, 1)
        sim.cz(1, 2)
        assert sorted(vertices(sim.draw())) == [0, 1, 2]
        around = sim.draw(qubits=[0, 4])
        assert sorted(vertices(around)) == [0, 1, 4] and around.count("stroke-dasharray") == 1
        assert "No qubit to draw" in Korvane(3).draw()

    def test_layouts(self, tmp_path):
        circuit = Circuit("QUBIT_COORDS(0, 0) 0\nQUBIT_COORDS(2, 0) 1\nSHIFT_COORDS(0, 2)\n"
                          "QUBIT_COORDS(2, 0) 2\nH 0 1 2\nCZ 0 1 1 2\n")
        sim = Korvane(3)
        sim.run(circuit)
        at = vertices(sim.draw())
        assert at[0][1] == at[1][1] and at[1][0] == at[2][0] and at[2][1] > at[1][1]
        assert vertices(sim.copy().draw()) == at
        mirrored = vertices(sim.draw(layout={0: (1, 0), 1: (0, 0), 2: (0, 1)}))
        assert mirrored[0][0] > mirrored[1][0]
        for layout in ("spring", "circle", "grid"):
            assert sorted(vertices(sim.draw(layout=layout))) == [0, 1, 2]
        with pytest.raises(ValueError, match="qubit 2 has no coordinates"):
            sim.draw(layout={0: (0, 0), 1: (1, 1)})
        with pytest.raises(ValueError, match="layout must be 'auto'"):
            sim.draw(layout="hexagonal")
        assert sim.draw(tmp_path / "graph.svg") is None
        assert (tmp_path / "graph.svg").read_text() == sim.draw()

    def test_spring_layout_keeps_vertices_apart(self):
        rng = np.random.default_rng(3)
        edges = {tuple(sorted(rng.choice(40, 2, replace=False))) for _ in range(70)}
        drawn = vertices(Korvane.from_graph(40, np.array(sorted(edges))).draw(layout="spring"))
        points = np.array([(x, y) for x, y, _ in drawn.values()])
        gaps = np.linalg.norm(points[:, None] - points[None], axis=2) + np.eye(len(points)) * 1e9
        assert gaps.min() > 2 * 15  # no two circles overlap

    def test_large_graphs_need_qubits(self):
        sim = cluster(80, 80)
        with pytest.raises(ValueError, match="more than 5000 qubits with edges"):
            sim.draw()
        assert len(vertices(sim.draw(qubits=range(100)))) == 180
        with pytest.raises(ValueError, match="qubit 6400 is outside"):
            sim.draw(qubits=[6400])


REPETITION = """R 0 1 2 3 4
TICK
CX 0 3 1 3 1 4 2 4
DEPOLARIZE2(0.01) 0 3
MR 3 4
DETECTOR rec[-2]
REPEAT 3 {
    X_ERROR(0.1) 0 1 2
    CX 0 3 1 3 1 4 2 4
    MR 3 !4
    DETECTOR rec[-2] rec[-4]
    CX rec[-1] 2
}
MX 0 1 2
OBSERVABLE_INCLUDE(0) rec[-3]
MPP X0*!Z2 Y1
SPP Y0*Y3
MZZ 1 2
MPAD 1
HERALDED_ERASE(0.1) 3
"""


class TestDiagram:
    def test_what_is_drawn(self, tmp_path):
        svg = Circuit(REPETITION).diagram()
        gates = re.findall(r'data-gate="(\w+)"', svg)
        assert gates.count("CX") == 8 + 1 and gates.count("MR") == 4 and gates.count("MX") == 3
        assert svg.count('class="repeat"') == 1 and "REPEAT 3" in svg
        assert "rec 1" in svg and ">!MR<" in svg and "X^rec[-1]" in svg
        assert ">MPP:X<" in svg and ">!MPP:Z<" in svg and ">SPP:Y<" in svg and ">MZZ:Z<" in svg
        assert ">MPAD 1<" in svg and ">H_ERASE<" in svg and "rec 15" in svg
        assert Circuit(REPETITION).diagram(tmp_path / "c.svg") is None
        assert (tmp_path / "c.svg").read_text() == svg

    def test_conditions_from_qasm_are_marked(self):
        circuit = Circuit.from_qasm('include "qelib1.inc";\nqreg q[2];\ncreg c[2];\n'
                                    "measure q -> c;\nif(c==3) h q[1];\n")
        assert ">if<" in circuit.diagram()

    def test_refused_when_too_large(self):
        with pytest.raises(ValueError, match="more than a diagram shows"):
            Circuit("H 2000").diagram()
        with pytest.raises(ValueError, match="more than 20000 operations"):
            Circuit("H " + " ".join(["0"] * 20001)).diagram()


class TestRendered:
    def test_graph_renders_with_every_label(self, tmp_path):
        sim = cluster(4, 4)
        for q, gate in ((5, "h"), (6, "s"), (9, "x")):
            getattr(sim, gate)(q)
        sim.measure_x(10)
        svg = sim.draw()
        png, boxes = render(svg, tmp_path, "graph")
        assert_drawn(png)
        drawn = vertices(svg)
        assert_labels_shown(boxes, [str(q) for q in drawn] + [vop for _, _, vop in drawn.values()])

    def test_diagram_renders_with_every_label(self, tmp_path):
        svg = Circuit(REPETITION).diagram()
        png, boxes = render(svg, tmp_path, "diagram")
        assert_drawn(png)
        labels = re.findall(r">([^<>]+)</text>", svg)
        assert_labels_shown(boxes, labels)
