"""korvane.Circuit and Korvane.run from Python: reading, printing, the numbers a call takes, runs
against the numpy reference and against the same operations made through the methods, seeds,
threads, and the rest of the module without numpy."""

import pathlib
import pickle
import random
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import korvane
from korvane import Circuit, Korvane
from reference import AXIS_NAMES, StateVector, random_circuit

REPETITION = """\
R 0 1 2 3 4
X_ERROR(0.1) 0 1 2
CX 0 3 1 3 1 4 2 4
MR 3 4
DETECTOR(1, 0) rec[-2]
DETECTOR(3, 0) rec[-1]
REPEAT 3 {
    X_ERROR(0.1) 0 1 2
    CX 0 3 1 3 1 4 2 4
    MR 3 4
    SHIFT_COORDS(0, 1)
    DETECTOR(1, 0) rec[-2] rec[-4]
    DETECTOR(3, 0) rec[-1] rec[-3]
}
M 0 1 2
DETECTOR rec[-3] rec[-2] rec[-5]
DETECTOR rec[-2] rec[-1] rec[-4]
OBSERVABLE_INCLUDE(0) rec[-3]
"""


class TestText:
    def test_attributes_count_every_repetition(self):
        circuit = Circuit(REPETITION)
        assert (circuit.num_qubits, circuit.num_measurements) == (5, 2 + 3 * 2 + 3)
        assert (circuit.num_detectors, circuit.num_observables) == (2 + 3 * 2 + 2, 1)
        huge = Circuit("REPEAT 1000000000000 {\n  M 0\n  DETECTOR rec[-1]\n}")
        assert huge.num_measurements == huge.num_detectors == 10**12

    def test_canonical_text_repr_and_pickle_read_back(self):
        circuit = Circuit("cnot 0 1\nmz(0.25) !1   # flipped\nrepeat 2 {\n tick\n}")
        text = str(circuit)
        assert text == "CX 0 1\nM(0.25) !1\nREPEAT 2 {\n    TICK\n}\n"
        assert str(Circuit(text)) == text
        assert repr(circuit) == f"korvane.Circuit({text!r})"
        assert str(eval(repr(circuit), {"korvane": korvane})) == text
        assert str(pickle.loads(pickle.dumps(circuit))) == text

    def test_from_file(self, tmp_path):
        path = tmp_path / "memory.stim"
        path.write_text(REPETITION)
        assert str(Circuit.from_file(path)) == str(Circuit(REPETITION))
        assert str(Circuit.from_file(str(path))) == str(Circuit(REPETITION))
        with pytest.raises(FileNotFoundError):
            Circuit.from_file(tmp_path / "missing.stim")
        with pytest.raises(IsADirectoryError):
            Circuit.from_file(tmp_path)
        path.write_text("H 0\nM 0\nDETECTOR 0\n")
        with pytest.raises(ValueError, match="^line 3: DETECTOR takes rec"):
            Circuit.from_file(path)

    @pytest.mark.parametrize("text, message", [
        ("H 0\nFROB 1", "line 2: unknown instruction 'FROB'"),
        ("M 0\nDETECTOR rec[-2]", "line 2: 'rec[-2]' reaches before the first measurement"),
        ("REPEAT 2 {\nH 0", "line 1: the REPEAT block opened here is never closed"),
    ])
    def test_refusals_are_value_errors_naming_the_line(self, text, message):
        # Every refusal of the format is tested in C++; here, that it reaches Python as such.
        with pytest.raises(ValueError) as raised:
            Circuit(text)
        assert str(raised.value).startswith(message)

    def test_equal_by_content_and_hashable(self):
        circuit = Circuit(REPETITION)
        spelled = Circuit(REPETITION.replace("CX", "cnot").replace("\n", "  # note\n"))
        assert circuit == spelled and not circuit != spelled and hash(circuit) == hash(spelled)
        assert circuit != Circuit(REPETITION.replace("0.1", "0.2")) and circuit != str(circuit)
        assert len({Circuit("H 0"), Circuit("h 0\n"), Circuit("H 1"), Circuit("X_ERROR(-0) 0"),
                    Circuit("X_ERROR(0) 0")}) == 3

    def test_deep_nesting_prints_in_linear_size(self):
        depth = 5000
        nested = Circuit("REPEAT 2 {\n" * depth + "H 0\n" + "}\n" * depth)
        text = str(nested)
        assert len(text) < 200 * depth and Circuit(text) == nested
        # Shallow bodies keep their full indentation.
        assert str(Circuit("REPEAT 2 {\nREPEAT 3 {\nH 0\n}\n}")) == (
            "REPEAT 2 {\n    REPEAT 3 {\n        H 0\n    }\n}\n")

    def test_not_a_string_and_immutable(self):
        with pytest.raises(TypeError):
            Circuit(b"H 0")
        circuit = Circuit("H 0")
        with pytest.raises(AttributeError):
            circuit.num_qubits = 3
        with pytest.raises(TypeError):
            type("Sub", (Circuit,), {})


class TestHostileText:
    @pytest.mark.parametrize("count", [2**64 + 1, 2**64, 2**63, 10**30])
    def test_repeat_counts_never_wrap(self, count):
        # Every other number of the text is refused as too large in C++'s refusal table.
        with pytest.raises(ValueError, match=rf"^line 1: the REPEAT count '{count}' is too large"):
            Circuit(f"REPEAT {count} {{\nM 0\n}}")

    @pytest.mark.parametrize("text, line", [
        ("€" * 14, 1),                       # a quoted token cut inside no character
        ("H 0\n\u00e9 1", 2),
        ("H 0\nM 0 \ud800", 2),             # a lone surrogate: no UTF-8 form at all
        ("H 0\x00 1", 1),
        ("X_ERROR(0.1" + "€" * 30 + ") 0", 1),
    ])
    def test_any_text_gives_a_value_error_naming_its_line(self, text, line):
        with pytest.raises(ValueError) as raised:
            Circuit(text)
        assert type(raised.value) is ValueError and str(raised.value).startswith(f"line {line}: ")

    @pytest.mark.parametrize("read, text", [
        (Circuit, "H 0\n\ud800 0"),
        (korvane.DetectorErrorModel, "error(0.1) D0\n\ud800 D1"),
        (Circuit.from_qasm, "OPENQASM 2.0;\n\ud800;"),
    ])
    def test_lone_surrogates_are_quoted_by_every_reader(self, read, text):
        with pytest.raises(ValueError, match=r"^line 2: .*'\\xed\\xa0\\x80'") as raised:
            read(text)
        assert type(raised.value) is ValueError

    def test_from_file_of_any_bytes(self, tmp_path):
        path = tmp_path / "latin1.stim"
        path.write_bytes(b"H 0 # caf\xe9\nM 0\nX_ERROR(0.1) \xff\xfe\n")
        with pytest.raises(ValueError, match=r"^line 3: unrecognised target '\\xff\\xfe'$"):
            Circuit.from_file(path)
        path.write_bytes(b"H 0 # caf\xe9\nM 0\n")   # not UTF-8, but only in a comment
        assert Circuit.from_file(path) == Circuit("H 0\nM 0")


class TestNumbers:
    circuit = Circuit("H 0\nM 0 1\nDETECTOR rec[-1]")

    @pytest.mark.parametrize("shots, error", [
        (-1, ValueError), (-(10**30), ValueError), (2**63, MemoryError), (10**30, MemoryError),
        (1.5, TypeError), ("3", TypeError), (None, TypeError),
    ])
    def test_bad_shots(self, shots, error):
        for call in (self.circuit.sample, self.circuit.sample_detectors):
            with pytest.raises(error):
                call(shots)

    @pytest.mark.parametrize("shots", [10**13, 2**62])
    def test_shots_beyond_memory_are_a_memory_error(self, shots):
        # numpy is asked for the arrays, and the allocator refuses them.
        for call in (self.circuit.sample, self.circuit.sample_detectors):
            with pytest.raises(MemoryError):
                call(shots)

    @pytest.mark.parametrize("seed, error", [
        (-1, OverflowError), (2**64, OverflowError), (10**40, OverflowError),
        (1.0, TypeError), ("1", TypeError),
    ])
    def test_bad_seeds(self, seed, error):
        with pytest.raises(error):
            self.circuit.sample(1, seed=seed)

    def test_shapes_and_dtypes(self):
        assert self.circuit.sample(0).shape == (0, 2)
        records = self.circuit.sample(5, seed=2**64 - 1)
        assert records.shape == (5, 2) and records.dtype == np.bool_
        assert not records[:, 1].any()
        detectors, observables = Circuit(REPETITION).sample_detectors(3, seed=0)
        assert detectors.shape == (3, 10) and observables.shape == (3, 1)
        assert detectors.dtype == observables.dtype == np.bool_
        # Nothing to record: no shot needs to run, however many are asked for.
        assert Circuit("H 0").sample(10**15).shape == (10**15, 0)

    def test_method_is_frames_or_shots(self):
        for call in (self.circuit.sample, self.circuit.sample_detectors):
            with pytest.raises(ValueError, match="^method must be 'frames' or 'shots', not 'fast'$"):
                call(1, method="fast")
            with pytest.raises(TypeError, match="^argument 'method' must be 'frames' or 'shots'"):
                call(1, method=1)
        assert self.circuit.sample(2, seed=1, method="shots").shape == (2, 2)

    def test_shots_and_seed_by_keyword_only_seed(self):
        assert self.circuit.sample(shots=2, seed=1).shape == (2, 2)
        with pytest.raises(TypeError):
            self.circuit.sample(2, 1)

    def test_non_deterministic_detector_is_refused(self):
        circuit = Circuit("H 0\nM 0\nDETECTOR rec[-1]")
        with pytest.raises(ValueError, match="^line 3: detector 0 is not deterministic"):
            circuit.sample_detectors(10)
        assert circuit.sample(4, seed=1).shape == (4, 1)


class TestRun:
    def test_size_is_checked_before_anything_changes(self):
        sim = Korvane(2)
        sim.x(1)
        with pytest.raises(ValueError, match="^the circuit acts on 4 qubits but the register has 2$"):
            sim.run(Circuit("X 0\nH 3"))
        assert sim.measure_z(0) == 0 and sim.measure_z(1) == 1
        with pytest.raises(TypeError, match="^argument 'circuit': 'str' object cannot be cast"):
            sim.run("H 0")
        for text in ("X 0\nMPP X1*Z1", "X 0\nREPEAT 2 {\nSPP Y0*Z0*X0\n}"):
            with pytest.raises(ValueError, match="anti-Hermitian"):
                sim.run(Circuit(text))
        assert sim.measure_z(0) == 0 and sim.measure_z(1) == 1

    @pytest.mark.parametrize("seed", range(12))
    def test_outcomes_and_final_state_agree_with_the_reference(self, seed):
        rng = random.Random(seed)
        operations = random_circuit(rng, 4, 40, measure_chance=0.2)
        lines = []
        for operation in operations:
            if operation[0] == "measure":
                lines.append(f"M{'XYZ'[operation[2]] if operation[2] != 2 else ''} {operation[1]}")
            else:
                name = {"sdag": "S_DAG"}.get(operation[0], operation[0].upper())
                lines.append(f"{name} {' '.join(map(str, operation[1:]))}")
        sim = Korvane(4)
        record = sim.run(Circuit("\n".join(lines)))
        reference = StateVector(4)
        bits = iter(record)
        for operation in operations:
            if operation[0] == "measure":
                bit = int(next(bits))
                assert reference.probability(operation[1], operation[2], bit) > 1e-9
                reference.project(operation[1], operation[2], bit)
            else:
                reference.apply(*operation)
        # The register goes on as the reference: measure everything through the methods.
        for qubit in range(4):
            axis = rng.randrange(3)
            bit = int(getattr(sim, "measure_" + AXIS_NAMES[axis])(qubit))
            assert reference.probability(qubit, axis, bit) > 1e-9
            reference.project(qubit, axis, bit)

    def test_same_statistics_as_the_methods(self):
        text = "H 0\nCX 0 1\nCX 1 2\nMX 0 1 2\nMY 0\nM 1"
        runs = 2000
        by_run = np.array([Korvane(3).run(Circuit(text)) for _ in range(runs)], dtype=int)
        by_methods = []
        for _ in range(runs):
            sim = Korvane(3)
            sim.h(0)
            sim.cx(0, 1)
            sim.cx(1, 2)
            outcomes = [sim.measure_x(q) for q in range(3)] + [sim.measure_y(0), sim.measure_z(1)]
            by_methods.append([int(outcome) for outcome in outcomes])
        by_methods = np.array(by_methods)
        for bits in (by_run, by_methods):
            assert not (bits[:, 0] ^ bits[:, 1] ^ bits[:, 2]).any()  # GHZ: XXX is certain
            for column in range(5):
                assert abs(bits[:, column].mean() - 0.5) < 5 * 0.5 / np.sqrt(runs)


class TestSampling:
    def test_a_seed_gives_the_same_shots_in_another_process(self):
        script = textwrap.dedent(f"""
            import korvane
            circuit = korvane.Circuit({REPETITION!r})
            records = circuit.sample(500, seed=1234)
            detectors, observables = circuit.sample_detectors(500, seed=99)
            print(records.tobytes().hex(), detectors.tobytes().hex(), observables.tobytes().hex())
        """)
        printed = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True,
                                 text=True).stdout.split()
        circuit = Circuit(REPETITION)
        detectors, observables = circuit.sample_detectors(500, seed=99)
        assert printed == [circuit.sample(500, seed=1234).tobytes().hex(),
                           detectors.tobytes().hex(), observables.tobytes().hex()]
        # A longer sample begins with the shorter one; another seed, or none, differs.
        assert (circuit.sample(800, seed=1234)[:500] == circuit.sample(500, seed=1234)).all()
        assert (circuit.sample(500, seed=1235) != circuit.sample(500, seed=1234)).any()
        assert (circuit.sample(500) != circuit.sample(500)).any()

    def test_docs_say_where_a_seed_of_none_comes_from(self):
        readme = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text()
        for doc in (Circuit.sample.__doc__, readme):
            assert "seed" in doc and "from the calling thread's generator" in " ".join(doc.split())

    @pytest.mark.parametrize("method", ["frames", "shots"])
    def test_both_methods_give_the_exact_rates_of_the_repetition_code(self, method):
        # X_ERROR(0.1) on each data qubit each round: a syndrome fires when one of its two data
        # qubits flipped that round; the observable when qubit 0 flipped an odd number of times.
        shots, p = 20_000, 0.1
        detectors, observables = Circuit(REPETITION).sample_detectors(shots, seed=3, method=method)
        spread = 5 * np.sqrt(0.25 / shots)
        assert np.abs(detectors[:, :8].mean(axis=0) - 2 * p * (1 - p)).max() < spread
        assert not detectors[:, 8:].any()
        assert abs(observables.mean() - (1 - (1 - 2 * p) ** 4) / 2) < spread
        records = Circuit(REPETITION).sample(shots, seed=3, method=method)
        assert np.abs(records[:, :2].mean(axis=0) - 2 * p * (1 - p)).max() < spread

    def test_frames_continue_the_stream_from_block_to_block(self):
        circuit = Circuit(REPETITION)
        longer = circuit.sample(40_000, seed=5)
        assert (longer[:20_000] == circuit.sample(20_000, seed=5)).all()
        assert (longer[:20_000] != circuit.sample(20_000, seed=5, method="shots")).any()

    def test_threads_sample_at_once_each_as_alone(self):
        circuit = Circuit(REPETITION)
        alone = {seed: circuit.sample_detectors(3000, seed=seed) for seed in range(4)}
        together = {}

        def work(seed):
            together[seed] = circuit.sample_detectors(3000, seed=seed)

        threads = [threading.Thread(target=work, args=(seed,)) for seed in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for seed in range(4):
            assert all((a == b).all() for a, b in zip(alone[seed], together[seed]))

    @pytest.mark.parametrize("method", ["frames", "shots"])
    def test_python_runs_while_a_thread_samples(self, method):
        # Frames are far faster: they get a wider circuit to keep the thread busy.
        size = 4000 if method == "frames" else 1
        chain = "H " + " ".join(map(str, range(size))) + "\nCZ " + " ".join(
            f"{q} {q + 1}" for q in range(size - 1)) + "\nMX " + " ".join(map(str, range(size)))
        circuit = Circuit(chain if method == "frames" else REPETITION)
        window = []

        def sample():
            window.append(time.perf_counter())
            circuit.sample(20_000 if method == "frames" else 200_000, seed=1, method=method)
            window.append(time.perf_counter())

        stamps = []
        sampler = threading.Thread(target=sample)
        sampler.start()
        while sampler.is_alive():
            stamps.append(time.perf_counter())
        sampler.join()
        # Held for the whole call, the GIL would let this thread run only at the call's edges
        # (a switch interval of 5 ms at most), never in the middle half of it.
        start, end = window
        quarter = (end - start) / 4
        assert end - start > 0.04, "the sample was too short to tell"
        assert sum(start + quarter < stamp < end - quarter for stamp in stamps) > 100


def test_the_rest_of_the_module_works_without_numpy():
    script = textwrap.dedent("""
        import sys
        sys.modules["numpy"] = None  # import numpy now fails
        import korvane
        sim = korvane.Korvane(2)
        sim.h(0)
        sim.cx(0, 1)
        assert sim.measure_z(0) == sim.measure_z(1)
        circuit = korvane.Circuit("X 0\\nM 0 1")
        assert circuit.num_measurements == 2 and str(circuit) == "X 0\\nM 0 1\\n"
        for call in (lambda: circuit.sample(1), lambda: sim.run(circuit), sim.graph,
                     lambda: korvane.Korvane.from_graph(2, [[0, 1]])):
            try:
                call()
            except ImportError as error:
                assert "pip install numpy" in str(error), error
            else:
                raise AssertionError("a call that needs numpy did not fail")
        assert korvane.Korvane.from_bytes(sim.to_bytes()).stabilizers() == sim.stabilizers()
        assert sim.measure_z(0) == sim.measure_z(1)  # run changed nothing
        print("ok")
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert done.stdout.strip() == "ok", done.stderr


LOOPING = "REPEAT 100000000000 {\nH 0\n}\nM 0\nDETECTOR rec[-1]"
# A random graph of degree 16 on 4096 qubits, whose stabilizers take ten seconds or more.
DENSE = ("korvane.Korvane.from_graph(4096, sorted({tuple(sorted(rng.sample(range(4096), 2))) "
         "for _ in range(32768)}), [rng.randrange(24) for _ in range(4096)])")
INTERRUPTED_CALLS = {
    "sample frames": "circuit.sample(1)",
    "sample shots": "circuit.sample(1, method='shots')",
    "sample_detectors frames": "circuit.sample_detectors(1)",
    "sample_detectors shots": "circuit.sample_detectors(1, method='shots')",
    "run": "sim.run(circuit)",
    "run after H": "sim.run(korvane.Circuit('H 1\\n' + circuit_text))",
    "stabilizers": "dense.stabilizers()",
}


@pytest.mark.parametrize("call", sorted(INTERRUPTED_CALLS))
def test_ctrl_c_stops_a_long_call_within_a_second(call):
    # Each call would run for a long time; SIGINT must end it with KeyboardInterrupt, leaving the
    # register usable and as it was after the last whole instruction.
    script = textwrap.dedent(f"""
        import random
        import numpy  # imported by the first call otherwise, which the signal could interrupt
        import korvane
        rng = random.Random(1)
        circuit_text = {LOOPING!r}
        circuit = korvane.Circuit(circuit_text)
        sim = korvane.Korvane(2)
        dense = {DENSE if call == "stabilizers" else None}
        print("ready", flush=True)
        try:
            {INTERRUPTED_CALLS[call]}
        except KeyboardInterrupt:
            assert sim.peek_pauli("_X" if {call!r} == "run after H" else "_Z") == 1
            sim.h(0)
            sim.measure_x(0)
            print("interrupted", flush=True)
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    watchdog = threading.Timer(60, child.kill)  # a child that never answers fails, not hangs
    watchdog.start()
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.3)
        sent = time.perf_counter()
        child.send_signal(signal.SIGINT)
        answer = child.stdout.readline()
        answered = time.perf_counter() - sent
        _, err = child.communicate(timeout=10)
    finally:
        watchdog.cancel()
        child.kill()
    assert answer == "interrupted\n", err
    assert answered < 1.0
