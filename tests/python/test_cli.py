"""The command line on files and pipes: every subcommand, and bad input (exit status 2, nothing
written)."""

import io
import os
import pathlib
import shutil
import subprocess
import sys

import numpy as np
import pytest
import stim

import korvane
from qec_circuits import HERALDED

CIRCUIT = str(korvane.Circuit.generated(
    "surface_code:rotated_memory_z", distance=3, rounds=3, after_clifford_depolarization=0.02,
    before_measure_flip_probability=0.01))


def run(*arguments, stdin=b"", check=True):
    result = subprocess.run([sys.executable, "-m", "korvane", *arguments], input=stdin,
                            capture_output=True, timeout=120)
    if check:
        assert result.returncode == 0, result.stderr.decode()
    return result


@pytest.fixture
def circuit_file(tmp_path):
    path = tmp_path / "circuit.stim"
    path.write_text(CIRCUIT)
    return path


def test_gen_writes_a_circuit_with_a_header(tmp_path):
    path = tmp_path / "gen.stim"
    run("gen", "--code", "surface_code", "--task", "rotated_memory_z", "--distance", "3",
        "--rounds", "3", "--after_clifford_depolarization", "0.02",
        "--before_measure_flip_probability", "0.01", "--out", str(path))
    text = path.read_text()
    assert text.startswith("# Generated surface_code circuit.\n# task: rotated_memory_z\n")
    assert str(korvane.Circuit(text)) == CIRCUIT
    assert run("gen", "--code", "cluster_state", "--task", "mbqc_2d", "--distance", "2",
               "--rounds", "2", "--bases", "XZZX").stdout.decode().count("DETECTOR") == 2


def test_sample_and_detect_from_files_and_pipes(circuit_file, tmp_path):
    circuit = korvane.Circuit(CIRCUIT)
    piped = run("sample", "--shots", "100", "--seed", "5", stdin=CIRCUIT.encode()).stdout
    from_file = run("sample", "--shots", "100", "--seed", "5", "--in", str(circuit_file)).stdout
    assert piped == from_file
    records = korvane.read_shots(io.BytesIO(piped), "01", num_measurements=circuit.num_measurements)
    assert (records == circuit.sample(100, seed=5)).all()

    out, obs = tmp_path / "events.b8", tmp_path / "obs.r8"
    run("detect", "--shots", "640", "--seed", "9", "--in", str(circuit_file), "--out", str(out),
        "--out_format", "b8", "--obs_out", str(obs), "--obs_out_format", "r8")
    detectors, observables = circuit.sample_detectors(640, seed=9)
    assert (korvane.read_shots(out, "b8", num_detectors=circuit.num_detectors) == detectors).all()
    assert (korvane.read_shots(obs, "r8", num_observables=1) == observables).all()
    dets = run("detect", "--shots", "64", "--seed", "9", "--out_format", "dets",
               stdin=CIRCUIT.encode()).stdout.decode()
    assert dets.count("shot") == 64 and " L0" in dets  # dets appends the observables


def test_m2d_and_analyze_errors(circuit_file, tmp_path):
    circuit = korvane.Circuit(CIRCUIT)
    records = run("sample", "--shots", "256", "--seed", "3", "--in", str(circuit_file),
                  "--out_format", "ptb64").stdout
    events = run("m2d", "--circuit", str(circuit_file), "--in_format", "ptb64", "--out_format",
                 "01", "--append_observables", stdin=records).stdout
    measured = korvane.read_shots(io.BytesIO(records), "ptb64",
                                  num_measurements=circuit.num_measurements)
    detectors, observables = circuit.detection_events(measured)
    got = korvane.read_shots(io.BytesIO(events), "01", num_detectors=circuit.num_detectors,
                             num_observables=1)
    assert (got == np.concatenate([detectors, observables], axis=1)).all()
    expected = stim.Circuit(CIRCUIT).compile_m2d_converter().convert(
        measurements=measured, append_observables=True)
    assert (got == expected).all()

    model = tmp_path / "model.dem"
    run("analyze_errors", "--in", str(circuit_file), "--decompose_errors", "--out", str(model))
    assert korvane.DetectorErrorModel.from_file(model) == circuit.detector_error_model(
        decompose_errors=True)


def test_pads_products_and_heralds(tmp_path):
    """Circuits of every recording instruction sample and convert as from Python; their error
    model is refused naming a heralded channel's line, exit status 2."""
    path = tmp_path / "heralded.stim"
    path.write_text(HERALDED)
    circuit = korvane.Circuit(HERALDED)
    records = run("sample", "--shots", "128", "--seed", "6", "--in", str(path), "--out_format",
                  "b8").stdout
    measured = korvane.read_shots(io.BytesIO(records), "b8",
                                  num_measurements=circuit.num_measurements)
    assert (measured == circuit.sample(128, seed=6)).all()
    events = run("m2d", "--circuit", str(path), "--in_format", "b8", "--out_format", "01",
                 "--append_observables", stdin=records).stdout
    expected = stim.Circuit(HERALDED).compile_m2d_converter().convert(
        measurements=measured, append_observables=True)
    assert (korvane.read_shots(io.BytesIO(events), "01", num_detectors=circuit.num_detectors,
                               num_observables=1) == expected).all()
    refused = run("analyze_errors", "--in", str(path), check=False)
    assert refused.returncode == 2 and b"line 33: HERALDED_PAULI_CHANNEL_1" in refused.stderr


def test_bad_input_exits_2_and_writes_nothing(circuit_file, tmp_path):
    out = tmp_path / "out.txt"
    cases = [
        (["sample", "--out", str(out)], b"H 0\nFROB 1\n", "line 2: unknown instruction 'FROB'"),
        (["detect", "--out", str(out)], b"H 0\nM 0\nDETECTOR rec[-1]\n", "line 3: detector 0"),
        (["detect", "--shots", "10", "--out_format", "ptb64", "--in", str(circuit_file),
          "--out", str(out)], b"", "multiple of 64"),
        (["analyze_errors", "--out", str(out), "--decompose_errors"],
         b"X_ERROR(0.1) 0\nM 0\nDETECTOR rec[-1]\nDETECTOR rec[-1]\nDETECTOR rec[-1]\n",
         "line 1: an error of X_ERROR"),
        (["m2d", "--circuit", str(circuit_file), "--out", str(out)], b"0101\n", "shot 0: a line"),
        (["sample", "--in", str(tmp_path / "missing.stim")], b"", "No such file"),
        (["gen", "--code", "surface_code", "--task", "memory", "--distance", "3", "--rounds", "1",
          "--out", str(out)], b"", "not a task of surface_code"),
    ]
    for arguments, stdin, message in cases:
        result = run(*arguments, stdin=stdin, check=False)
        assert result.returncode == 2, arguments
        assert message in result.stderr.decode(), result.stderr.decode()
        assert not out.exists() and sorted(os.listdir(tmp_path)) == ["circuit.stim"]
    assert run("sample", "--shots", "-1", check=False).returncode == 2


def test_console_script():
    script = shutil.which("korvane", path=str(pathlib.Path(sys.executable).parent))
    if script is None:
        pytest.skip("korvane is not installed with its console script here")
    result = subprocess.run([script, "--version"], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0 and result.stdout.startswith("korvane ")
