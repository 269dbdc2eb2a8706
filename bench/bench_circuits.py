"""Whole circuits from Python: the 10-qubit cz/cx mix and the 10^6-qubit cluster wire run as one
korvane.Circuit; shots per second of the distance-5, 5-round repetition-code memory experiment
sampled by Circuit.sample_detectors by Pauli frames (on one thread and on two) and shot by shot,
beside the same experiment as a loop of method calls; and 2D cluster states of 100x100 and
1000x1000 qubits measured in random bases fixed per qubit, sampled by frames (the 1000x1000 one in
a process of its own, for its peak memory).

Usage: PYTHONPATH=<build dir> python3.14 bench/bench_circuits.py TABLEAU_JSONL [--quick]
       [--json FILE]
TABLEAU_JSONL is the output of `korvane_tableau_bench --circuits DIR`, whose cz_cx_10 circuit
(the same operations that bench_entangled.py replays call by call) is run here as one circuit.
Every figure is the best of a few repeats, as wall time and as the CPU time of the calling thread
(the machine is shared: the CPU time is the steadier of the two), and every run checks what its
result must satisfy; nothing checks a time. stim does the same work beside (bench/peer.py):
TableauSimulator.do_circuit on the same text for the runs, its compiled samplers for the shots.
"""

import argparse
import json
import math
import random
import struct
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

import korvane
import peer

DISTANCE, ROUNDS, ERROR_RATE = 5, 5, 0.05
SINGLE_NAMES = ("X", "Y", "Z", "H", "S", "S_DAG")
PAIR_NAMES = ("CZ", "CX", "CY", "XCX", "XCY", "XCZ", "YCX", "YCY", "YCZ")
results = []


def record(workload, **figures):
    results.append({"workload": workload, **figures})
    print(f"  {workload:<28} " + "  ".join(f"{key}={value}" for key, value in figures.items()))


def best_seconds(run, repeats, before=lambda: None):
    """The best wall time and the best CPU time of this thread over `repeats` calls of run(),
    each after an untimed call of before()."""
    walls, cpus = [], []
    for _ in range(repeats):
        before()
        wall, cpu = time.perf_counter(), time.thread_time()
        run()
        cpus.append(time.thread_time() - cpu)
        walls.append(time.perf_counter() - wall)
    return min(walls), min(cpus)


def on_stim(text, statement, qubits, repeats, check="result"):
    """peer.seconds of `statement` with the text read as `circuit` beforehand."""
    with tempfile.NamedTemporaryFile("w", suffix=".stim") as source:
        source.write(text)
        source.flush()
        return peer.seconds(f"circuit = stim.Circuit(open({source.name!r}).read())", statement,
                            repeats=repeats, qubits=qubits, check=check)


def run_on_stim(text, qubits, repeats, check):
    """The circuit run once on a fresh TableauSimulator, as Korvane.run on a fresh register; the
    check sees the simulator as `result`."""
    return on_stim(text, f"""
        sim = stim.TableauSimulator()
        sim.set_num_qubits({qubits})
        sim.do_circuit(circuit)
        return sim
    """, qubits, repeats, check)


def sample_on_stim(text, qubits, shots, repeats, detectors=False):
    """stim's compiled sampler (of records, or of detectors) made and sampled, as one korvane
    sample call; the result is the mean of the sampled bits."""
    sampler = "compile_detector_sampler" if detectors else "compile_sampler"
    return on_stim(text, f"return circuit.{sampler}(seed=1).sample({shots}).mean()", qubits,
                   repeats, check="float(result)")


def mix_circuit(path):
    """The tableau bench's operation records ("<BBII": kind, which, qubit, target) as text."""
    lines = []
    with open(path, "rb") as source:
        for kind, which, qubit, target in struct.iter_unpack("<BBII", source.read()):
            if kind == 0:
                lines.append(f"{SINGLE_NAMES[which]} {qubit}")
            elif kind == 1:
                lines.append(f"{PAIR_NAMES[which]} {qubit} {target}")
            else:
                lines.append(f"M{'XY'[which] if which < 2 else ''} {qubit}")
    return "\n".join(lines)


def cz_cx_10(path, repeats):
    text = mix_circuit(path)
    operations = text.count("\n") + 1
    circuit = korvane.Circuit(text)
    _, parse = best_seconds(lambda: korvane.Circuit(text), repeats)
    seconds, cpu = best_seconds(lambda: korvane.Korvane(10).run(circuit), repeats)
    # The same operations, once as a circuit and once call by call, reach the same graph.
    by_circuit = korvane.Korvane(10)
    by_circuit.run(circuit)
    by_calls = korvane.Korvane(10)
    methods = {name: getattr(by_calls, name.lower()) for name in ("X", "Y", "Z", "H", "S", "CZ", "CX")}
    methods["S_DAG"] = by_calls.sdag
    for line in text.splitlines():
        name, *qubits = line.split()
        methods[name](*map(int, qubits))
    if any(by_circuit.get_entangled_group(q) != by_calls.get_entangled_group(q) for q in range(10)):
        raise AssertionError("cz_cx_10: the circuit and the calls left different graphs")
    if by_circuit.measure_z(3) != by_circuit.measure_z(3):
        raise AssertionError("cz_cx_10: a repeated Z measurement changed its result")
    theirs = run_on_stim(text, 10, repeats, check="result.measure(3) == result.measure(3)")
    record("cz_cx_10 circuit", ops=operations, seconds=round(seconds, 4),
           cpu_seconds=round(cpu, 4), ns_per_op=round(cpu / operations * 1e9, 2),
           wall_ns_per_op=round(seconds / operations * 1e9, 2),
           parse_ns_per_line=round(parse / operations * 1e9, 1), **{peer.PEER: theirs})


def dense_circuits(path, size, repeats):
    """The tableau bench's random circuit on all pairs of `size` qubits as one circuit, with its
    measurements (dense with measurements) and without (dense unitary). Check: a repeated Z
    measurement gives the same result."""
    text = mix_circuit(path)
    for label, lines in (("dense circuit", text), ("dense unitary circuit", "\n".join(
            line for line in text.splitlines() if not line.startswith("M")))):
        circuit = korvane.Circuit(lines)
        kept = {}

        def run():
            kept["sim"] = korvane.Korvane(size)
            kept["sim"].run(circuit)

        seconds, cpu = best_seconds(run, repeats, before=kept.clear)
        if kept["sim"].measure_z(0) != kept["sim"].measure_z(0):
            raise AssertionError(f"{label}: a repeated Z measurement changed its result")
        theirs = run_on_stim(lines, size, max(1, repeats // 3),
                             check="result.measure(0) == result.measure(0)")
        operations = lines.count("\n") + 1
        record(label, N=size, ops=operations, seconds=round(seconds, 4),
               cpu_seconds=round(cpu, 4), ns_per_op=round(cpu / operations * 1e9, 2),
               **{peer.PEER: theirs})


def cluster_wire(size, repeats):
    """H on all, CZ along the chain, X on all but the last, as one circuit; Korvane(n) included.
    Check: the X results are fair coins and the last qubit is left alone."""
    text = (f"H {' '.join(map(str, range(size)))}\n"
            f"CZ {' '.join(f'{q} {q + 1}' for q in range(size - 1))}\n"
            f"MX {' '.join(map(str, range(size - 1)))}\n")
    circuit = korvane.Circuit(text)
    kept = {}

    def run():
        kept["sim"] = korvane.Korvane(size)
        kept["outcomes"] = kept["sim"].run(circuit)

    seconds, cpu = best_seconds(run, repeats, before=kept.clear)  # the last register freed
    if kept["sim"].get_entangled_group(size - 1) != {size - 1}:
        raise AssertionError("cluster wire: the last qubit kept neighbours")
    ones = kept["outcomes"].mean()
    if abs(ones - 0.5) > 5 * 0.5 / math.sqrt(size - 1):
        raise AssertionError(f"cluster wire: X results are not fair coins ({ones})")
    theirs = run_on_stim(text, size, repeats, check=(
        f"abs(sum(result.current_measurement_record()) / {size - 1} - 0.5) <= "
        f"{5 * 0.5 / math.sqrt(size - 1)}"))
    record("cluster_wire circuit", N=size, ops=3 * size - 2, seconds=round(seconds, 4),
           cpu_seconds=round(cpu, 4), ns_per_op=round(cpu / (3 * size - 2) * 1e9, 2),
           **{peer.PEER: theirs})


def repetition_text(distance, rounds, error_rate):
    data = " ".join(str(q) for q in range(distance))
    ancillas = " ".join(str(distance + i) for i in range(distance - 1))
    checks = " ".join(f"{i} {distance + i} {i + 1} {distance + i}" for i in range(distance - 1))
    one_round = f"DEPOLARIZE1({error_rate}) {data}\nCX {checks}\nMR {ancillas}\n"
    k = distance - 1
    text = one_round + "".join(f"DETECTOR rec[-{k - i}]\n" for i in range(k))
    text += f"REPEAT {rounds - 1} {{\n" + one_round
    text += "".join(f"DETECTOR rec[-{k - i}] rec[-{2 * k - i}]\n" for i in range(k)) + "}\n"
    text += f"M {data}\n" + "".join(
        f"DETECTOR rec[-{distance - i}] rec[-{distance - i - 1}] rec[-{distance + k - i}]\n"
        for i in range(k))
    return text + f"OBSERVABLE_INCLUDE(0) rec[-{distance}]\n"


def python_loop_shots(shots, distance, rounds, error_rate):
    """The same experiment as a loop of method calls (how examples/distributed_shots.py ran it
    before circuits): errors drawn in Python, the ancillas measured and reset by calls. Returns
    the number of shots whose final checks agreed with the last syndrome (all of them)."""
    rng = random.Random(1)
    paulis = (korvane.Korvane.x, korvane.Korvane.y, korvane.Korvane.z)
    register = korvane.Korvane(2 * distance - 1)
    consistent = 0
    for _ in range(shots):
        syndrome = []
        for _ in range(rounds):
            for qubit in range(distance):
                if rng.random() < error_rate:
                    rng.choice(paulis)(register, qubit)
            syndrome = []
            for check in range(distance - 1):
                ancilla = distance + check
                register.cx(check, ancilla)
                register.cx(check + 1, ancilla)
                outcome = int(register.measure_z(ancilla))
                if outcome:
                    register.x(ancilla)
                syndrome.append(outcome)
        readout = [int(register.measure_z(qubit)) for qubit in range(distance)]
        for qubit, bit in enumerate(readout):
            if bit:
                register.x(qubit)
        consistent += all(readout[i] ^ readout[i + 1] == syndrome[i] for i in range(distance - 1))
    return consistent


def repetition_shots(shots, repeats):
    circuit = korvane.Circuit(repetition_text(DISTANCE, ROUNDS, ERROR_RATE))
    final = ROUNDS * (DISTANCE - 1)

    def checked(detectors):
        if detectors[:, final:].any():
            raise AssertionError("repetition code: a final detector fired without readout errors")
        flip = 2 * ERROR_RATE / 3
        rate = detectors[:, :final].mean()
        if abs(rate - 2 * flip * (1 - flip)) > 0.01:
            raise AssertionError(f"repetition code: detection rate {rate}")

    loop_shots = shots // 20
    seconds, cpu = best_seconds(
        lambda: python_loop_shots(loop_shots, DISTANCE, ROUNDS, ERROR_RATE), repeats)
    if python_loop_shots(200, DISTANCE, ROUNDS, ERROR_RATE) != 200:
        raise AssertionError("repetition code: the loop's readouts disagree with its syndromes")
    record("repetition Python loop", threads=1, shots=loop_shots, seconds=round(seconds, 3),
           cpu_seconds=round(cpu, 3), shots_per_second=round(loop_shots / cpu))
    frame_shots = 10 * shots
    seconds, cpu = best_seconds(
        lambda: checked(circuit.sample_detectors(frame_shots, seed=1)[0]), repeats)
    text = repetition_text(DISTANCE, ROUNDS, ERROR_RATE)
    qubits = 2 * DISTANCE - 1
    record("repetition sample_detectors", threads=1, shots=frame_shots, seconds=round(seconds, 3),
           cpu_seconds=round(cpu, 3), shots_per_second=round(frame_shots / cpu), method="frames",
           **{peer.PEER: sample_on_stim(text, qubits, frame_shots, repeats, detectors=True)})
    seconds, cpu = best_seconds(
        lambda: checked(circuit.sample_detectors(shots, seed=1, method="shots")[0]), repeats)
    record("repetition sample_detectors by shots", threads=1, shots=shots,
           seconds=round(seconds, 3), cpu_seconds=round(cpu, 3),
           shots_per_second=round(shots / cpu), method="shots")
    cpu_seconds = [0.0, 0.0]
    process_cpu = []

    def two_threads():
        samples = [None, None]
        start = time.process_time()

        def work(index):
            start = time.thread_time()
            samples[index] = circuit.sample_detectors(frame_shots, seed=index)[0]
            cpu_seconds[index] = time.thread_time() - start

        threads = [threading.Thread(target=work, args=(index,)) for index in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        process_cpu.append(time.process_time() - start)
        for detectors in samples:
            checked(detectors)

    # Two threads have no common CPU time: the figure is wall time, with each thread's own CPU
    # time beside it (as long as the wall time when the two ran side by side on two free cores)
    # and the process's (twice the wall time then, no more than it when one core was free).
    seconds, _ = best_seconds(two_threads, 3 * repeats)  # a moment with two free cores is rarer
    record("repetition sample_detectors", threads=2, shots=2 * frame_shots,
           seconds=round(seconds, 3), shots_per_second=round(2 * frame_shots / seconds),
           thread_cpu_seconds=[round(cpu, 3) for cpu in cpu_seconds],
           process_cpu_seconds=round(min(process_cpu), 3), method="frames")
    seconds, cpu = best_seconds(lambda: circuit.sample(frame_shots, seed=1), repeats)
    record("repetition sample", threads=1, shots=frame_shots, seconds=round(seconds, 3),
           cpu_seconds=round(cpu, 3), shots_per_second=round(frame_shots / cpu), method="frames",
           **{peer.PEER: sample_on_stim(text, qubits, frame_shots, repeats)})


def cluster_2d_text(side, seed):
    """H on all, CZ on the grid, then each qubit measured on X, Y or Z, drawn once per qubit."""
    rng = random.Random(seed)
    qubits = side * side
    pairs = [f"{q} {q + 1}" for q in range(qubits) if q % side != side - 1]
    pairs += [f"{q} {q + side}" for q in range(qubits - side)]
    bases = [rng.choice(("MX", "MY", "M")) for _ in range(qubits)]
    return (f"H {' '.join(map(str, range(qubits)))}\nCZ {' '.join(pairs)}\n" +
            "\n".join(f"{basis} {q}" for q, basis in enumerate(bases)) + "\n"), bases


def check_cluster(records, bases, side):
    """Measured in fixed bases, a cluster state gives fair coins except where the bases make a
    stabilizer: a corner's X with its two neighbours' Z (X_c Z_n Z_n'), which must read even."""
    ones = records.mean()
    if abs(ones - 0.5) > 0.05:
        raise AssertionError(f"cluster: results far from fair coins ({ones})")
    if bases[0] == "MX" and bases[1] == "M" and bases[side] == "M":
        if (records[:, 0] ^ records[:, 1] ^ records[:, side]).any():
            raise AssertionError("cluster: a corner stabilizer read odd")


def cluster_2d(side, shots, repeats):
    """Shots per second of the cluster by frames, the reference run included in each call."""
    text, bases = cluster_2d_text(side, 1)
    circuit = korvane.Circuit(text)
    kept = {}

    def run():
        kept["records"] = circuit.sample(shots, seed=1)

    seconds, cpu = best_seconds(run, repeats, before=kept.clear)
    check_cluster(kept["records"], bases, side)
    _, one_shot = best_seconds(lambda: circuit.sample(1, seed=1), repeats)
    theirs = sample_on_stim(text, side * side, shots, 1)
    if "result" in theirs and abs(theirs["result"] - 0.5) > 0.05:
        raise AssertionError(f"cluster on stim: results far from fair coins ({theirs['result']})")
    record(f"cluster {side}x{side} sample", threads=1, shots=shots, seconds=round(seconds, 3),
           cpu_seconds=round(cpu, 3), shots_per_second=round(shots / cpu),
           one_shot_cpu_seconds=round(one_shot, 3), method="frames", **{peer.PEER: theirs})


def cluster_2d_in_process(side, shots):
    """The large cluster in a fresh process: wall and CPU time of one sample call and the
    process's peak resident memory, the circuit's text and array included."""
    script = f"""
import json, resource, sys, time
sys.path.insert(0, {str(__import__('pathlib').Path(__file__).parent)!r})
import korvane
from bench_circuits import cluster_2d_text, check_cluster
text, bases = cluster_2d_text({side}, 1)
circuit = korvane.Circuit(text)
del text
wall, cpu = time.perf_counter(), time.thread_time()
records = circuit.sample({shots}, seed=1)
wall, cpu = time.perf_counter() - wall, time.thread_time() - cpu
check_cluster(records, bases, {side})
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(json.dumps({{"wall": wall, "cpu": cpu, "peak": peak}}))
"""
    done = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True,
                          text=True)
    figures = json.loads(done.stdout)
    record(f"cluster {side}x{side} sample", threads=1, shots=shots,
           seconds=round(figures["wall"], 2), cpu_seconds=round(figures["cpu"], 2),
           shots_per_second=round(shots / figures["cpu"]),
           peak_gb=round(figures["peak"] / 2**30, 2), method="frames",
           **{peer.PEER: peer.unfit(side * side) or
              sample_on_stim(cluster_2d_text(side, 1)[0], side * side, shots, 1)})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tableau_jsonl")
    parser.add_argument("--quick", action="store_true", help="smaller sizes, for a smoke run")
    parser.add_argument("--json", help="write the figures to this file")
    args = parser.parse_args()
    # Each run is short, so many repeats find a quiet moment of the shared machine.
    repeats = 2 if args.quick else 10
    with open(args.tableau_jsonl) as lines:
        rows = [json.loads(line) for line in lines]
    mix = next(row for row in rows if row["workload"] == "cz_cx_10")
    print("10-qubit cz/cx mix as one circuit")
    cz_cx_10(mix["circuit"], repeats)
    print("Random circuits on all pairs as one circuit, with and without measurements")
    dense = max((row for row in rows if row["workload"] == "random_all_pairs"),
                key=lambda row: row["n"])
    dense_circuits(dense["circuit"], dense["n"], repeats)
    print("Cluster wires as one circuit")
    for size in (10**4, 10**5 if args.quick else 10**6):
        cluster_wire(size, repeats)
    print("Repetition-code shots")
    repetition_shots(20_000 if args.quick else 200_000, 2 if args.quick else 3)
    print("2D clusters in random bases, by frames")
    cluster_2d(30, 10_000 if args.quick else 100_000, 2 if args.quick else 3)
    cluster_2d(100, 10_000 if args.quick else 100_000, 2 if args.quick else 3)
    cluster_2d_in_process(300 if args.quick else 1000, 1000)
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
