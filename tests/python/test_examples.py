"""The examples: each runs to success with small sizes, and its physics agrees with the reference.

Running a script proves it still works against the module; driving its functions on a register
mirrored by the numpy reference proves that what it checks is true of the state, not just of the
simulator.
"""

import ast
import importlib.util
import itertools
import pathlib
import random
import re
import subprocess
import sys
import tempfile

import numpy as np
import pytest

import korvane
from reference import AXIS_X, AXIS_Z, Mirror, StateVector

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"

SMALL_RUNS = {
    "teleportation.py": ["--length", "300", "--wires", "4"],
    "ghz.py": ["--size", "12", "--shots", "60"],
    "syndrome.py": ["--trials", "40"],
    "parallel_shots.py": ["--size", "8", "--shots", "800", "--batches", "4", "--workers", "2"],
    "distributed_shots.py": ["--distance", "3", "--shots", "400", "--batch-shots", "100"],
    "demo.py": ["--wire", "2000", "--ghz", "30", "--rounds", "2"],
    "pictures.py": ["--out", str(pathlib.Path(tempfile.gettempdir()) / "korvane-pictures")],
    "surface_code_threshold.py": ["--distances", "3", "5", "--rates", "0.003", "0.01", "0.02",
                                  "--max-shots", "20000", "--target-errors", "200", "--no-plot"],
}
# Examples that need an optional extra.
NEEDS = {"surface_code_threshold.py": "pymatching"}


def load_example(name):
    path = EXAMPLES / name
    spec = importlib.util.spec_from_file_location("korvane_example_" + path.stem, path)
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module  # dataclasses look their module up while the class is made
    spec.loader.exec_module(module)
    return module


class MirroredSimulator:
    """Looks like a korvane register to an example; keeps a numpy reference in step with it."""

    def __init__(self, qubit_amount):
        self.mirror = Mirror(korvane.Korvane(qubit_amount), qubit_amount)

    @property
    def reference(self) -> StateVector:
        return self.mirror.reference

    def __getattr__(self, name):
        if name.startswith("measure_"):
            axis = "xyz".index(name[-1])
            return lambda qubit: self.mirror.measure(qubit, axis)
        if name in ("get_entangled_group", "peek_measure_set"):
            return getattr(self.mirror.simulator, name)
        return lambda *qubits: self.mirror.apply(name, *qubits)


def pauli_expectation(state: StateVector, pauli_string: str) -> float:
    """<psi| P |psi> for a Pauli string over the first len(pauli_string) qubits."""
    matrices = {
        "I": np.eye(2),
        "X": np.array([[0, 1], [1, 0]]),
        "Y": np.array([[0, -1j], [1j, 0]]),
        "Z": np.diag([1, -1]),
    }
    probe = state.copy()
    for qubit, pauli in enumerate(pauli_string):
        probe.apply_matrix(matrices[pauli], (qubit,))
    return float(np.real(np.vdot(state.vector(), probe.vector())))


def test_every_example_is_exercised():
    assert sorted(path.name for path in EXAMPLES.glob("*.py")) == sorted(SMALL_RUNS)


def header_script(name):
    """The script path of the commands the example's docstring gives; each runs the project's
    virtual environment's interpreter from the clone."""
    doc = ast.get_docstring(ast.parse((EXAMPLES / name).read_text()))
    commands = [line.split() for line in doc.splitlines()
                if line.lstrip().startswith((".venv/", "python", "PYTHONPATH"))]
    assert commands and all(command[:2] == [".venv/bin/python", f"examples/{name}"]
                            for command in commands), commands
    return commands[0][1]


@pytest.mark.parametrize("name", sorted(SMALL_RUNS))
def test_example_runs_as_its_header_says_and_passes_its_checks(name):
    if name in NEEDS:
        pytest.importorskip(NEEDS[name])
    completed = subprocess.run(
        [sys.executable, header_script(name), *SMALL_RUNS[name]],
        cwd=EXAMPLES.parent,
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr
    assert completed.stdout.rstrip().endswith("all checks passed"), completed.stdout


def test_readme_pictures_are_the_ones_the_module_draws(tmp_path):
    subprocess.run([sys.executable, str(EXAMPLES / "pictures.py"), "--out", str(tmp_path)],
                   check=True, capture_output=True, timeout=600)

    def without_random_outcomes(svg):
        # Measurement outcomes are random and change the local Cliffords, never the graph.
        svg = re.sub(r'data-vop="\w+"|VOP \d+ \(\w+\)|fill="#[0-9a-f]{6}"', "", svg)
        return re.sub(r'(class="vop"[^>]*>)\w+<', r"\1<", svg)

    checked_in = EXAMPLES.parent / "docs" / "pictures"
    drawn = sorted(tmp_path.glob("*.svg"))
    assert [path.name for path in drawn] == sorted(path.name for path in checked_in.glob("*.svg"))
    for path in drawn:
        expected = without_random_outcomes((checked_in / path.name).read_text())
        assert without_random_outcomes(path.read_text()) == expected, path.name


class TestTeleportation:
    @pytest.mark.parametrize("length", range(1, 7))
    def test_corrected_output_forms_the_bell_pair_with_the_reference(self, length):
        example = load_example("teleportation.py")
        bell = StateVector(2)
        bell.apply("h", 0)
        bell.apply("cx", 0, 1)
        for _ in range(6):
            simulator = MirroredSimulator(example.INPUT + length)
            example.build(simulator, length)
            frame = example.measure_wire(simulator, length)
            output = example.correct(simulator, length, frame)
            made = simulator.reference
            assert made.is_tensor_factor({example.REFERENCE, output})
            # Undo the Bell preparation on the pair: the reference alone must then be |00>.
            made.apply("cx", example.REFERENCE, output)
            made.apply("h", example.REFERENCE)
            assert made.certain_outcome(example.REFERENCE, AXIS_Z) == 0
            assert made.certain_outcome(output, AXIS_Z) == 0

    def test_a_skipped_correction_is_caught(self):
        example = load_example("teleportation.py")
        caught = 0
        for _ in range(20):
            simulator = korvane.Korvane(example.INPUT + 4)
            example.build(simulator, 4)
            frame = example.measure_wire(simulator, 4)
            output = example.correct(simulator, 4, (0, 0))
            passed = example.holds_bell_pair(simulator, output)
            assert passed == (frame == (0, 0))
            caught += not passed
        assert caught > 0


class TestGhz:
    @pytest.mark.parametrize("size", range(1, 6))
    def test_made_state_is_ghz(self, size):
        example = load_example("ghz.py")
        simulator = MirroredSimulator(size)
        example.make_ghz(simulator, size)
        expected = np.zeros(2**size, dtype=complex)
        expected[0] = expected[-1] = 1 / np.sqrt(2)
        assert simulator.reference.equal_up_to_phase(StateVector.from_vector(expected))

    def test_predicted_parities_match_the_reference_expectations(self):
        shots = load_example("parallel_shots.py")
        size = 4
        ghz = StateVector(size)
        ghz.apply("h", 0)
        for qubit in range(1, size):
            ghz.apply("cx", qubit - 1, qubit)
        for bases in itertools.product("xy", repeat=size):
            expectation = pauli_expectation(ghz, "".join(bases).upper())
            predicted = shots.predicted_parity("".join(bases))
            if predicted is None:
                assert abs(expectation) < 1e-9
            else:
                assert abs(expectation - (-1) ** predicted) < 1e-9

    def test_measured_parities_follow_the_prediction(self):
        shots = load_example("parallel_shots.py")
        rng = random.Random(3)
        coin = 0
        for _ in range(200):
            bases = "".join(rng.choice("xy") for _ in range(5))
            parity = shots.one_shot(5, bases)
            predicted = shots.predicted_parity(bases)
            if predicted is None:
                coin += 1
            else:
                assert parity == predicted
        assert coin > 50

    def test_fingerprints_of_one_process_differ(self):
        shots = load_example("parallel_shots.py")
        assert len({shots.fingerprint() for _ in range(4)}) == 4


class TestSyndrome:
    def test_decoding_table_matches_the_reference(self):
        # Each error's syndrome change, read off the reference state as generator expectations.
        example = load_example("syndrome.py")
        table = example.decoding_table()
        assert len(table) == 15
        encoded = MirroredSimulator(example.DATA_QUBITS + 1)
        reference_syndrome = example.encode(encoded, "Z")
        for change, (qubit, pauli) in table.items():
            damaged = encoded.reference.copy()
            damaged.apply(pauli.lower(), qubit)
            for bit, generator, sign in zip(change, example.GENERATORS, reference_syndrome):
                value = pauli_expectation(damaged, generator + "I")
                assert abs(value - (-1) ** (sign ^ bit)) < 1e-9

    @pytest.mark.parametrize("basis", ["Z", "X"])
    def test_encoding_fixes_generators_and_logical(self, basis):
        example = load_example("syndrome.py")
        for _ in range(4):
            simulator = MirroredSimulator(example.DATA_QUBITS + 1)
            signs = example.encode(simulator, basis)
            state = simulator.reference
            for generator, sign in zip(example.GENERATORS, signs):
                assert abs(pauli_expectation(state, generator + "I") - (-1) ** sign) < 1e-9
            logical = example.LOGICAL_Z if basis == "Z" else example.LOGICAL_X
            assert abs(pauli_expectation(state, logical + "I") - 1) < 1e-9
            assert state.certain_outcome(example.ANCILLA, AXIS_X) == 0

    def test_every_error_is_found_and_undone(self):
        example = load_example("syndrome.py")
        table = example.decoding_table()
        errors = [None] + [(q, p) for q in range(example.DATA_QUBITS) for p in example.PAULIS]
        for basis, error in itertools.product("ZX", errors):
            simulator = MirroredSimulator(example.DATA_QUBITS + 1)
            ok, decoded = example.run_trial(simulator, basis, error, table)
            assert ok and decoded == error

    def test_a_wrong_correction_is_caught(self):
        # Correcting X on qubit 0 with Z on qubit 0 leaves a syndrome behind: the trial must fail.
        example = load_example("syndrome.py")
        table = {
            change: (qubit, "Z" if pauli == "X" else pauli)
            for change, (qubit, pauli) in example.decoding_table().items()
        }
        ok, _ = example.run_trial(korvane.Korvane(example.DATA_QUBITS + 1), "Z", (0, "X"), table)
        assert not ok

    def test_undetectable_table_is_refused(self):
        example = load_example("syndrome.py")
        original = example.GENERATORS
        try:
            example.GENERATORS = original[:3]
            with pytest.raises(ValueError):
                example.decoding_table()
        finally:
            example.GENERATORS = original



def readme_snippets():
    text = (EXAMPLES.parent / "README.md").read_text()
    blocks = text.split("```")[1::2]
    return [block.split("\n", 1)[1] for block in blocks if block.startswith("python")]


def test_readme_has_python_snippets():
    assert len(readme_snippets()) >= 5


@pytest.mark.parametrize("index", range(len(readme_snippets())))
def test_readme_snippet_runs(index, capsys):
    snippet = readme_snippets()[index]
    exec(compile(snippet, f"README.md python block {index}", "exec"), {"__name__": "readme"})
    printed = capsys.readouterr().out
    # A printed line documented in a comment (`print(...)  # value`) must show that value.
    for line in snippet.splitlines():
        if line.startswith("print(") and "# {" in line:
            documented = line.split("# ", 1)[1].split(":")[0]
            assert documented in printed
    if "# {0: '(Z, +1)'" in snippet:
        assert "{0: '(Z, +1)', 1: '(Y, +1)', 2: '(Z, -1)'}" in printed
