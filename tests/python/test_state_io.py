"""Whole states in and out (copies, the saved form behind pickle, the graph as arrays and back,
canonical stabilizers), Pauli products, reset and swap, against the numpy reference."""

import copy
import pathlib
import pickle
import random
import zlib

import networkx
import numpy as np
import pytest

from hypothesis import given, settings
from hypothesis import strategies as st

from korvane import Korvane, MeasurementResult
from reference import Mirror, random_circuit
from test_leaks import _assert_steady, _swallow


def mirrored(seed, qubits=5, length=40):
    """A register and its reference after a random circuit with measurements."""
    rng = random.Random(seed)
    mirror = Mirror(Korvane(qubits), qubits)
    mirror.run(random_circuit(rng, qubits, length, measure_chance=0.1))
    return mirror


def random_pauli(rng, qubits):
    return rng.choice("+-") + "".join(rng.choice("_XYZ") for _ in range(qubits))


def sealed(body: bytes, version: int = 1) -> bytes:
    """A saved form written by hand: mark, version, body, then its CRC-32 (zlib's)."""
    data = b"KRVN" + bytes([version]) + body
    return data + zlib.crc32(data).to_bytes(4, "little")


class Forged:
    """Pickles as a register of 2 qubits whose saved form is `state`."""

    def __init__(self, state):
        self.state = state

    def __reduce__(self):
        return (Korvane, (2,), self.state)


class TestCopies:
    @pytest.mark.parametrize("make_copy", [Korvane.copy, copy.copy, copy.deepcopy])
    def test_a_copy_is_independent(self, make_copy):
        mirror = mirrored(1)
        sim, before = mirror.simulator, mirror.simulator.stabilizers()
        twin = make_copy(sim)
        assert type(twin) is Korvane and twin is not sim and twin.stabilizers() == before
        twin.x(0)
        twin.measure_x(1)
        assert sim.stabilizers() == before != twin.stabilizers()
        sim.h(2)
        assert twin.stabilizers() != sim.stabilizers()


def save_and_load(sim, directory):
    path = directory / "state.krvn"
    sim.save(path)
    return Korvane.load(str(path))


ROUND_TRIPS = {
    "pickle": lambda sim, _: pickle.loads(pickle.dumps(sim)),
    "bytes": lambda sim, _: Korvane.from_bytes(bytearray(sim.to_bytes())),
    "file": save_and_load,
}


class TestPickle:
    @pytest.mark.parametrize("seed", range(5))
    @pytest.mark.parametrize("trip", sorted(ROUND_TRIPS))
    def test_round_trip_is_exact(self, seed, trip, tmp_path):
        sim = mirrored(seed, qubits=7).simulator
        loaded = ROUND_TRIPS[trip](sim, tmp_path)
        for mine, theirs in zip(sim.graph(), loaded.graph()):
            assert np.array_equal(mine, theirs)
        assert loaded.stabilizers() == sim.stabilizers()
        assert sim.to_bytes() == sim.__getstate__() == loaded.to_bytes()

    def test_a_wire_takes_three_bytes_a_qubit_with_a_zlib_checksum(self):
        n = 10**5
        wire = Korvane.from_graph(n, np.stack([np.arange(n - 1), np.arange(1, n)], axis=1))
        state = wire.__getstate__()
        assert len(state) <= 3 * n + 20 and len(pickle.dumps(wire)) < len(state) + 100
        assert zlib.crc32(state[:-4]) == int.from_bytes(state[-4:], "little")
        assert state[:5] == b"KRVN\x01"

    def test_every_truncation_and_bit_flip_is_refused(self):
        sim = mirrored(7, qubits=6).simulator
        state = sim.__getstate__()
        target = Korvane(6)
        fresh = target.stabilizers()
        for length in range(len(state)):
            with pytest.raises(ValueError, match="^not a valid saved korvane register: "):
                target.__setstate__(state[:length])
        for bit in range(8 * len(state)):
            flipped = bytearray(state)
            flipped[bit // 8] ^= 1 << (bit % 8)
            with pytest.raises(ValueError):
                target.__setstate__(flipped)
        assert target.stabilizers() == fresh
        target.__setstate__(memoryview(state))
        assert target.stabilizers() == sim.stabilizers()

    @pytest.mark.parametrize(
        "body, message",
        [
            (b"\xff\xff\xff\xff\xff\xff\xff\x7f\x00", "qubits, more than its 18 bytes"),
            (b"\x02\x00\x0a\x18\x00\x00", "qubit 1 has VOP 24"),
            (b"\x02\x01\x0a\x0a\x01\x00\x00", "qubit 0 has an edge to itself"),
        ],
    )
    def test_hostile_forms_are_refused_by_what_is_wrong(self, body, message, tmp_path):
        with pytest.raises(ValueError, match=message):
            pickle.loads(pickle.dumps(Forged(sealed(body))))
        with pytest.raises(ValueError, match="^not a valid saved korvane register: .*" + message):
            Korvane.from_bytes(sealed(body))
        path = tmp_path / "hostile.krvn"
        path.write_bytes(sealed(body))
        with pytest.raises(ValueError, match=f"^{path}: not a valid saved korvane register: "):
            Korvane.load(path)

    @settings(max_examples=300, deadline=None)
    @given(st.binary(max_size=64))
    def test_any_sealed_bytes_load_as_a_register_or_are_refused(self, body):
        # With a valid checksum, every other check is reached; what loads saves back as it loads.
        try:
            loaded = Korvane.from_bytes(sealed(body))
        except ValueError as error:
            assert str(error).startswith("not a valid saved korvane register: ")
            return
        again = Korvane.from_bytes(loaded.to_bytes())
        assert all(np.array_equal(a, b) for a, b in zip(again.graph(), loaded.graph()))

    def test_files_and_arguments(self, tmp_path):
        with pytest.raises(FileNotFoundError):
            Korvane.load(tmp_path / "missing.krvn")
        with pytest.raises(IsADirectoryError):
            Korvane(2).save(tmp_path)
        with pytest.raises(TypeError, match="^argument 'data': "):
            Korvane.from_bytes("KRVN")
        with pytest.raises(TypeError):
            Korvane.load(3.5)

    def test_wrong_size_wrong_version_and_wrong_type(self):
        sim = Korvane(3)
        with pytest.raises(ValueError, match="^the saved register has 2 qubits, and this register has 3$"):
            sim.__setstate__(Korvane(2).__getstate__())
        with pytest.raises(ValueError, match="format version 2"):
            sim.__setstate__(sealed(b"\x03\x00\x0a\x0a\x0a\x00\x00\x00", version=2))
        with pytest.raises(TypeError, match="^argument 'state': "):
            sim.__setstate__(3)


class TestSize:
    def test_len_qubit_amount_and_repr(self):
        sim = Korvane(3)
        sim.h(0)
        sim.cx(0, 1)
        sim.cx(0, 2)
        assert len(sim) == sim.qubit_amount == 3
        assert repr(sim) == "<korvane.Korvane: 3 qubits, 2 edges>"
        assert repr(Korvane(1)) == "<korvane.Korvane: 1 qubit, 0 edges>"
        with pytest.raises(AttributeError):
            sim.qubit_amount = 4


class TestGraph:
    def test_layout(self):
        sim = Korvane(4)
        for q in (3, 0, 2):
            sim.h(q)
        sim.cz(3, 0)
        sim.cz(2, 0)
        edges, vops = sim.graph()
        assert edges.dtype == np.int64 and edges.shape == (2, 2)
        assert edges.tolist() == [[0, 2], [0, 3]]
        assert vops.dtype == np.uint8 and vops.tolist() == [0, 10, 0, 0]
        empty_edges, _ = Korvane(2).graph()
        assert empty_edges.shape == (0, 2)

    @pytest.mark.parametrize("seed", range(6))
    def test_from_graph_of_graph_is_the_same_state(self, seed):
        sim = mirrored(seed, qubits=6, length=60).simulator
        edges, vops = sim.graph()
        built = Korvane.from_graph(6, edges, vops)
        assert built.stabilizers() == sim.stabilizers()
        rows = [tuple(reversed(row)) for row in edges.tolist()]
        assert Korvane.from_graph(6, rows, vops.tolist()).stabilizers() == sim.stabilizers()

    def test_without_vops_it_is_the_graph_state(self):
        built = Korvane.from_graph(3, [[0, 1], [2, 1]])
        # X0 Z1, Z0 X1 Z2 and Z1 X2, reduced: the first takes the third in to clear its Z1.
        assert built.stabilizers() == ["+X_X", "+ZXZ", "+_ZX"]
        assert Korvane.from_graph(2, []).stabilizers() == ["+X_", "+_X"]

    @pytest.mark.parametrize(
        "edges, message",
        [
            ([[0, 1], [1, 5]], r"^edge row 1 \(1, 5\) names a qubit outside the register of 3 qubits$"),
            ([[0, 1], [-1, 2]], r"^edge row 1 \(-1, 2\) names a qubit"),
            ([[0, 1], [2, 2], [7, 7]], r"^edge row 1 \(2, 2\) is a self-loop$"),
            ([[0, 1], [1, 2], [1, 0]], r"^edge row 2 \(1, 0\) repeats an earlier edge$"),
            (np.array([[0, 2**63]], dtype=np.uint64), r"^edge row 0 \(0, 9223372036854775808\) names"),
            (np.array([[2**64 - 1, 0]], dtype=np.uint64), r"^edge row 0 \(18446744073709551615, 0\) "),
        ],
    )
    def test_first_bad_row_is_named(self, edges, message):
        with pytest.raises(ValueError, match=message):
            Korvane.from_graph(3, edges)

    def test_argument_errors(self):
        with pytest.raises(TypeError, match="^argument 'edges': expected integers"):
            Korvane.from_graph(3, [[0.0, 1.0]])
        with pytest.raises(ValueError, match=r"^argument 'edges': expected shape \(E, 2\), not \(3,\)$"):
            Korvane.from_graph(3, [0, 1, 2])
        with pytest.raises(ValueError, match=r"^argument 'vops': expected shape \(3,\)"):
            Korvane.from_graph(3, [], [0, 0])
        with pytest.raises(ValueError, match=r"^vops\[1\] is 24, and VOPs are 0..23$"):
            Korvane.from_graph(3, [], [0, 24, 0])
        with pytest.raises(ValueError, match=r"^vops\[2\] is 9223372036854775808, and VOPs"):
            Korvane.from_graph(3, [], np.array([0, 1, 2**63], dtype=np.uint64))
        with pytest.raises(TypeError, match=r"^Korvane.from_graph\(\) takes from 2 to 3 positional"):
            Korvane.from_graph(3, [], None, 4)
        with pytest.raises(TypeError, match="missing 1 required positional argument: 'edges'$"):
            Korvane.from_graph(3)
        assert Korvane.from_graph(qubit_amount=2, edges=[[1, 0]], vops=None).qubit_amount == 2

    def test_networkx_recipe(self):
        sim = mirrored(3, qubits=6).simulator
        # The README's recipe, both ways.
        edges, vops = sim.graph()
        graph = networkx.Graph(edges.tolist()); graph.add_nodes_from(range(len(sim)))
        back = Korvane.from_graph(graph.number_of_nodes(), list(graph.edges()), vops)
        assert back.stabilizers() == sim.stabilizers()
        assert graph.number_of_edges() == len(edges)


def readme_vop_table():
    """(vop, gates, image of X, image of Z) for each row of the README's VOP table."""
    text = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text()
    rows = []
    for line in text.splitlines():
        cells = [cell.strip() for cell in line.strip("|").split("|")]
        if len(cells) == 5 and cells[0].isdigit():
            gates = [] if cells[2] == "(none)" else [g.strip(" `") for g in cells[2].split(",")]
            rows.append((int(cells[0]), gates, cells[3], cells[4]))
    return rows


def test_readme_vop_table_agrees_with_the_module():
    table = readme_vop_table()
    assert [row[0] for row in table] == list(range(24))
    for vop, gates, x_image, z_image in table:
        lone = Korvane.from_graph(1, [], [vop])  # C|+>, an eigenstate of C X C^dagger
        assert lone.peek_pauli(x_image) == 1
        made = Korvane(1)  # the gates applied to |0>: an eigenstate of C Z C^dagger
        for gate in gates:
            getattr(made, gate)(0)
        assert made.peek_pauli(z_image) == 1
        plus = Korvane(1)  # and to |+>, the state the index makes
        plus.h(0)
        for gate in gates:
            getattr(plus, gate)(0)
        assert plus.stabilizers() == lone.stabilizers()


def is_canonical(rows):
    """Reduced row echelon form over the columns X0, Z0, X1, Z1, ...: leading columns increase,
    and no other row has a row's leading column."""
    def columns(row):
        bits = []
        for letter in row[1:]:
            bits += [letter in "XY", letter in "ZY"]
        return bits

    matrix = [columns(row) for row in rows]
    leads = [bits.index(True) for bits in matrix]
    return leads == sorted(set(leads)) and all(
        not other[lead] for r, lead in enumerate(leads) for o, other in enumerate(matrix) if o != r
    )


class TestStabilizers:
    @pytest.mark.parametrize("seed", range(8))
    def test_generate_the_reference_state_in_canonical_form(self, seed):
        mirror = mirrored(seed, qubits=5, length=50)
        rows = mirror.simulator.stabilizers()
        assert len(rows) == 5 and is_canonical(rows)
        for row in rows:
            assert mirror.reference.pauli_expectation(row) == pytest.approx(1.0)

    def test_known_states(self):
        bell = Korvane(2)
        bell.h(0)
        bell.cx(0, 1)
        assert bell.stabilizers() == ["+XX", "+ZZ"]
        assert Korvane(3).stabilizers() == ["+Z__", "+_Z_", "+__Z"]
        assert Korvane(0).stabilizers() == []

    def test_large_registers_are_refused(self):
        with pytest.raises(ValueError, match="at most 4096 qubits"):
            Korvane(4097).stabilizers()


class TestPauliProducts:
    @pytest.mark.parametrize("seed", range(10))
    def test_against_the_reference_with_signs(self, seed):
        rng = random.Random(seed)
        mirror = mirrored(seed, qubits=5)
        sim, reference = mirror.simulator, mirror.reference
        for _ in range(8):
            pauli = random_pauli(rng, 5)
            expected = reference.pauli_expectation(pauli)
            as_dict = {q: letter for q, letter in enumerate(pauli[1:]) if letter != "_"}
            assert sim.peek_pauli(pauli) == pytest.approx(expected)
            if pauli[0] == "+":
                assert sim.peek_pauli(as_dict) == sim.peek_pauli(pauli)
            result = sim.measure_pauli(pauli)
            assert isinstance(result, MeasurementResult)
            if expected != pytest.approx(0):
                assert int(result) == (expected < 0)
            reference.project_pauli(pauli, int(result))
            assert sim.peek_pauli(pauli) == (-1 if int(result) else 1)
            for row in sim.stabilizers():
                assert reference.pauli_expectation(row) == pytest.approx(1.0)

    def test_argument_errors(self):
        sim = Korvane(3)
        with pytest.raises(TypeError, match="^argument 'pauli': 'list' object cannot be cast"):
            sim.peek_pauli(["X"])
        with pytest.raises(ValueError, match="^argument 'pauli': 'Q' at position 2 is not one"):
            sim.measure_pauli("+XQ")
        with pytest.raises(ValueError, match="must be one of"):
            sim.peek_pauli({0: "XX"})
        with pytest.raises(TypeError, match="must be one of"):
            sim.peek_pauli({0: 1})
        assert sim.peek_pauli("___") == 1 and sim.peek_pauli("-") == -1
        assert sim.stabilizers() == ["+Z__", "+_Z_", "+__Z"]

    def test_identities_may_pass_the_end_and_nothing_else(self):
        sim = Korvane(3)
        sim.h(0)
        assert sim.peek_pauli("X") == sim.peek_pauli("X__") == sim.peek_pauli("XI_____") == 1
        assert sim.peek_pauli({0: "X", 7: "I", 2**64 - 1: "_"}) == 1
        for pauli, named in [("___X", "X on qubit 3"), ("XXXX", "X on qubit 3"),
                             ("-Z___Y", "Y on qubit 4"), ({0: "X", 9: "Z"}, "Z on qubit 9")]:
            for method in (sim.peek_pauli, sim.measure_pauli):
                with pytest.raises(ValueError, match=f"^argument 'pauli': {named}, beyond the "
                                                     "register of 3 qubits"):
                    method(pauli)
        assert sim.stabilizers() == ["+X__", "+_Z_", "+__Z"]


class TestResetAndSwap:
    @pytest.mark.parametrize("seed", range(8))
    def test_against_the_reference(self, seed):
        rng = random.Random(seed)
        mirror = mirrored(seed, qubits=5)
        sim, reference = mirror.simulator, mirror.reference
        a, b = rng.randrange(5), rng.randrange(5)
        sim.swap(a, b)
        if a != b:
            for control, target in ((a, b), (b, a), (a, b)):
                reference.apply("cx", control, target)
        assert all(reference.pauli_expectation(row) == pytest.approx(1) for row in sim.stabilizers())
        sim.reset(a)
        assert sim.peek_pauli({a: "Z"}) == 1
        # The other qubits are as some possible Z outcome on a leaves them.
        rows = sim.stabilizers()
        candidates = []
        for bit in (0, 1):
            if reference.probability(a, 2, bit) > 1e-9:
                candidate = reference.copy()
                candidate.project(a, 2, bit)
                if bit:
                    candidate.apply("x", a)
                candidates.append(candidate)
        assert any(all(c.pauli_expectation(row) == pytest.approx(1) for row in rows) for c in candidates)

    def test_faults_and_arguments(self, panic):
        sim = Korvane(3)
        sim.x(0)
        with pytest.raises(panic, match="^index out of bounds: the len is 3 but the index is 3$"):
            sim.swap(0, 3)
        with pytest.raises(panic, match="^index out of bounds: the len is 3 but the index is 5$"):
            sim.reset(5)
        with pytest.raises(TypeError, match="^argument 'b': "):
            sim.swap(0, "1")
        assert sim.stabilizers() == ["-Z__", "+_Z_", "+__Z"]
        sim.swap(b=1, a=0)
        assert sim.stabilizers() == ["+Z__", "-_Z_", "+__Z"]
        sim.swap(1, 1)
        sim.reset(qubit=1)
        assert sim.stabilizers() == ["+Z__", "+_Z_", "+__Z"]


def _leak_cases():
    sim = mirrored(5, qubits=6).simulator
    state = sim.__getstate__()
    edges, vops = sim.graph()
    return {
        "copy": sim.copy,
        "pickle": lambda: pickle.loads(pickle.dumps(sim)),
        "graph": sim.graph,
        "from_graph": lambda: Korvane.from_graph(6, edges, vops),
        "stabilizers": sim.stabilizers,
        "peek_pauli": lambda: (sim.peek_pauli("XYZ_ZX"), sim.peek_pauli({1: "X", 4: "Y"})),
        "measure_pauli": lambda: sim.measure_pauli("-XX_YZ"),
        "reset_swap": lambda: (sim.reset(2), sim.swap(0, 5)),
        "refused_state": _swallow(lambda: sim.__setstate__(state[:-1]), ValueError),
        "refused_row": _swallow(lambda: Korvane.from_graph(3, [[0, 1], [1, 0]]), ValueError),
        "refused_pauli": _swallow(lambda: sim.peek_pauli({0: "X", 9: "Z"}), ValueError),
        "to_and_from_bytes": lambda: Korvane.from_bytes(sim.to_bytes()),
        "refused_bytes": _swallow(lambda: Korvane.from_bytes(state[:-1]), ValueError),
    }


@pytest.mark.parametrize("name", sorted(_leak_cases()))
def test_no_leaks(name):
    _assert_steady(_leak_cases()[name])
