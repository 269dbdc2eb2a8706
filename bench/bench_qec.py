"""Error-correction experiments: detector error model generation on rotated surface codes
(d = 5, 11, 25, rounds = d), `detect` to a b8 file from the command line, and shots decoded
end to end with PyMatching; the tableau simulator (stim) on the same circuits in the same run.

Usage: python bench/bench_qec.py [--quick] [--json FILE]. stim and pymatching are optional: the
rows that need them are left out when they are missing.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import korvane

NOISE = 0.001


def surface_code(distance, p=NOISE):
    return korvane.Circuit.generated(
        "surface_code:rotated_memory_z", distance=distance, rounds=distance,
        after_clifford_depolarization=p, before_round_data_depolarization=p,
        before_measure_flip_probability=p, after_reset_flip_probability=p)


def best_seconds(run, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def optional(name):
    try:
        return __import__(name)
    except ImportError:
        return None


def model_generation(distances, repeats, stim):
    rows = []
    for distance in distances:
        circuit = surface_code(distance)
        text = str(circuit)
        row = {"distance": distance, "rounds": distance, "detectors": circuit.num_detectors}
        for label, options in [("folded", {}), ("decomposed", {"decompose_errors": True}),
                               ("flattened", {"flatten_loops": True})]:
            model = circuit.detector_error_model(**options)
            row[f"korvane_{label}_seconds"] = best_seconds(
                lambda: circuit.detector_error_model(**options), repeats)
            row[f"korvane_{label}_errors"] = model.num_errors
        if stim is not None:
            reference = stim.Circuit(text)
            for label, options in [("folded", {}), ("decomposed", {"decompose_errors": True}),
                                   ("flattened", {"flatten_loops": True})]:
                row[f"stim_{label}_seconds"] = best_seconds(
                    lambda: reference.detector_error_model(**options), repeats)
        rows.append(row)
        print(json.dumps(row))
    return rows


def detect_to_b8(shots, repeats, stim):
    """Wall time of the whole command (start-up included) writing `shots` shots to a b8 file."""
    rows = []
    with tempfile.TemporaryDirectory() as folder:
        circuit_path = os.path.join(folder, "circuit.stim")
        with open(circuit_path, "w") as file:
            file.write(str(surface_code(5)))
        out = os.path.join(folder, "events.b8")
        commands = {"korvane": [sys.executable, "-m", "korvane"]}
        stim_script = shutil.which("stim", path=os.path.dirname(sys.executable))
        if stim is not None and stim_script is not None:
            commands["stim"] = [stim_script]
        for tool, command in commands.items():
            arguments = [*command, "detect", "--shots", str(shots), "--in", circuit_path,
                         "--out", out, "--out_format", "b8", "--seed", "1"]
            seconds = best_seconds(lambda: subprocess.run(arguments, check=True), repeats)
            row = {"tool": tool, "shots": shots, "seconds": seconds,
                   "shots_per_second": shots / seconds, "bytes": os.path.getsize(out)}
            rows.append(row)
            print(json.dumps(row))
    return rows


def decoded_end_to_end(shots, repeats, stim, pymatching):
    """Sampling and decoding timed apart on the d = 5 code at p = 0.1% and 0.5%."""
    rows = []
    for p in (0.001, 0.005):
        circuit = surface_code(5, p)
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "model.dem")
            with open(path, "w") as file:
                file.write(str(circuit.detector_error_model(decompose_errors=True)))
            matching = pymatching.Matching.from_detector_error_model_file(path)
        kept = {}

        def sample():
            kept["events"] = circuit.sample_detectors(shots, seed=3)

        sample_seconds = best_seconds(sample, repeats)
        detectors, observables = kept["events"]
        decode_seconds = best_seconds(lambda: matching.decode_batch(detectors), repeats)
        errors = int((matching.decode_batch(detectors)[:, 0] != observables[:, 0]).sum())
        row = {"p": p, "shots": shots, "sample_seconds": sample_seconds,
               "decode_seconds": decode_seconds,
               "shots_per_second": shots / (sample_seconds + decode_seconds),
               "logical_errors": errors}
        if stim is not None:
            sampler = stim.Circuit(str(circuit)).compile_detector_sampler(seed=3)
            row["stim_sample_seconds"] = best_seconds(
                lambda: sampler.sample(shots, separate_observables=True), repeats)
        rows.append(row)
        print(json.dumps(row))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--json")
    arguments = parser.parse_args()
    stim, pymatching = optional("stim"), optional("pymatching")
    repeats = 2 if arguments.quick else 3
    figures = {
        "models": model_generation([5, 11] if arguments.quick else [5, 11, 25], repeats, stim),
        "detect": detect_to_b8(10**5 if arguments.quick else 10**6, repeats, stim),
        "decoded": [] if pymatching is None else decoded_end_to_end(
            2 * 10**4 if arguments.quick else 10**5, repeats, stim, pymatching),
    }
    if arguments.json:
        with open(arguments.json, "w") as file:
            json.dump(figures, file)


if __name__ == "__main__":
    main()
