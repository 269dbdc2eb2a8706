"""Turns the figures of one benchmark run into bench/REPORT.md and bench/scaling.png.

Usage: python3.14 bench/make_report.py FIGURES_DIR OUT_DIR (bench/run.sh calls it). FIGURES_DIR
holds engine.json, calls.json, workloads.json, entangled.json and, when they were timed,
state_io.json (whole states), circuits.json (whole circuits), dense.json (dense random circuits),
shots.json (Dask), qec.json (error-correction experiments) and lattice.json (lattice cluster
states; the 10^9-qubit headline and the speed comparison of the change of storage are read from
OUT_DIR/lattice_headline.json and OUT_DIR/lattice_comparison.json). The report states the
machine, the tables, and which targets are met.
"""

import json
import math
import os
import platform
import re
import subprocess
import sys
from pathlib import Path

import peer
from lattice_report import lattice_section, lattice_targets
from windows_report import windows_section, windows_targets
from peer import PEER


def command_output(*command):
    try:
        return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def machine_lines():
    lscpu = command_output("lscpu")
    model = re.search(r"Model name:\s*(.+)", lscpu)
    memory_kb = 0
    with open("/proc/meminfo") as meminfo:
        memory_kb = int(meminfo.readline().split()[1])
    compiler = command_output("c++", "--version").splitlines()[0]
    return [
        f"- CPU: {model.group(1) if model else 'unknown'}, {os.cpu_count()} logical cores",
        f"- Memory: {memory_kb / 2**20:.1f} GiB",
        f"- Kernel: {platform.system()} {platform.release()}",
        f"- Compiler: {compiler} (Release build)",
        f"- Python: {platform.python_implementation()} {platform.python_version()}",
        f"- Load average at report time: {os.getloadavg()[0]:.1f} (the machine is shared)",
    ]


def engine_rows(engine_json):
    rows = []
    for bench in json.load(open(engine_json))["benchmarks"]:
        ops = bench.get("items_per_second")
        rows.append({
            "name": bench["name"].replace("/manual_time", ""),
            "label": bench.get("label", ""),
            "ns_per_op": 1e9 / ops if ops else None,
            "operand_degree": bench.get("operand_degree"),
            "mean_degree": bench.get("mean_degree"),
        })
    return rows


def engine_table(rows):
    lines = ["| benchmark | ns/op | operand degree seen | mean degree of graph |",
             "|---|---:|---:|---:|"]
    for row in rows:
        degree = "" if row["operand_degree"] is None else f"{row['operand_degree']:.2f}"
        mean = "" if row["mean_degree"] is None else f"{row['mean_degree']:.2f}"
        name = row["name"] + (f" ({row['label']})" if row["label"] else "")
        lines.append(f"| {name} | {row['ns_per_op']:.1f} | {degree} | {mean} |")
    return lines


def calls_table(calls):
    sizes = sorted({row["size"] for row in calls})
    labels = list(dict.fromkeys(row["call"] for row in calls))
    by_key = {(row["size"], row["call"]): row for row in calls}
    # stim's columns for the sizes where it ran; the others are named below the table.
    timed = [size for size in sizes
             if any(peer.seconds_of(row.get(PEER)) for row in calls if row["size"] == size)]
    header = "| call | " + " | ".join(
        f"N={size} ns | ratio" + (f" | {PEER} ns | {PEER} / korvane" if size in timed else "")
        for size in sizes) + " |"
    columns = sum(4 if size in timed else 2 for size in sizes)
    lines = [header, "|---|" + "---:|" * columns]
    for label in labels:
        cells = []
        for size in sizes:
            row = by_key[(size, label)]
            cells.append(f"{row['ns']:.1f} | {row['ratio']:.2f}")
            if size in timed:
                cells.append(peer.cells(row["ns"] / 1e9, row.get(PEER), scale=1e9, digits=1))
        lines.append(f"| {label} | " + " | ".join(cells) + " |")
    for size in sizes:
        skipped = {row[PEER]["skipped"] for row in calls
                   if row["size"] == size and row.get(PEER) and "skipped" in row[PEER]}
        if size not in timed and skipped:
            lines += ["", f"{PEER} at N={size}: not run ({', '.join(sorted(skipped))})."]
    return lines


def workload_table(workloads):
    lines = [f"| workload | N | seconds | ns/op | {PEER} s | {PEER} / korvane | details |",
             "|---|---:|---:|---:|---:|---:|---|"]
    skip = {"workload", "N", "seconds", "operations", "ns_per_op", PEER}
    for row in workloads:
        if row["workload"] in ("peek_measure_set", "get_entangled_group"):
            continue
        details = ", ".join(f"{key}={value}" for key, value in row.items() if key not in skip)
        lines.append(f"| {row['workload']} | {row['N']} | {row['seconds']:.4f} | "
                     f"{row['ns_per_op']:.1f} | {peer.cells(row['seconds'], row.get(PEER))} | "
                     f"{details} |")
    return lines


# A tableau simulator driven from Python on this machine, on the same workloads, when these
# targets were set: random circuits on all pairs are to run at a third of its time per op or less,
# GHZ of 10^4 qubits within its time.
STIM_US_PER_OP = {100: 3.6, 1000: 59.0}
STIM_GHZ_10K_SECONDS = 0.081


def slope(points):
    """Least-squares exponent b of y = a x^b through (x, y) points."""
    logs = [(math.log(x), math.log(y)) for x, y in points if x > 0 and y and y > 0]
    if len(logs) < 2:
        return None
    mean_x = sum(x for x, _ in logs) / len(logs)
    mean_y = sum(y for _, y in logs) / len(logs)
    spread = sum((x - mean_x) ** 2 for x, _ in logs)
    return sum((x - mean_x) * (y - mean_y) for x, y in logs) / spread if spread else None


def entangled_table(entangled):
    lines = ["| workload | n | ops | korvane s | korvane us/op | tableau s | tableau us/op | "
             f"tableau / korvane | {PEER} s | {PEER} / korvane | peak RSS MiB |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for row in entangled:
        tableau = row["tableau_seconds"]
        tableau_cells = (f"{tableau:.4f} | {row['tableau_seconds_per_op'] * 1e6:.3f} | "
                         f"{tableau / row['seconds']:.1f}x" if tableau is not None
                         else "too large | | ")
        lines.append(f"| {row['workload']} | {row['n']} | {row['ops']} | {row['seconds']:.4f} | "
                     f"{row['seconds_per_op'] * 1e6:.3f} | {tableau_cells} | "
                     f"{peer.cells(row['seconds'], row.get(PEER))} | "
                     f"{row['peak_rss'] / 2**20:.0f} |")
    lines += ["", "Exponent b of time against n (time ~ n^b; total time for GHZ, time per "
              "operation for random circuits):", "",
              f"| family | korvane | tableau | {PEER} |", "|---|---:|---:|---:|"]
    for family, per_op in (("ghz_chain", False), ("ghz_star", False), ("random_all_pairs", True)):
        rows = [row for row in entangled if row["workload"] == family]
        key, tableau_key = ("seconds_per_op", "tableau_seconds_per_op") if per_op else \
            ("seconds", "tableau_seconds")
        ours = slope([(row["n"], row[key]) for row in rows])
        theirs = slope([(row["n"], row[tableau_key]) for row in rows])
        peers = slope([(row["n"], peer.seconds_of(row.get(PEER)) / (row["ops"] if per_op else 1))
                       for row in rows if peer.seconds_of(row.get(PEER))])
        cells = [f"{value:.2f}" if value is not None else "" for value in (ours, theirs, peers)]
        lines.append(f"| {family} | {cells[0]} | {cells[1]} | {cells[2]} |")
    return lines


def peek_and_group_tables(workloads):
    peeks = [row for row in workloads if row["workload"] == "peek_measure_set"]
    sizes = sorted({row["N"] for row in peeks})
    subsets = sorted({row["k"] for row in peeks})
    by_key = {(row["N"], row["k"]): row for row in peeks}
    lines = ["peek_measure_set of k qubits of a cluster wire of N qubits: ns per call (ratio to the "
             "no-op call through the same loop).", "",
             "| k | " + " | ".join(f"N={size}" for size in sizes) + " |",
             "|---:|" + "---:|" * len(sizes)]
    for k in subsets:
        cells = []
        for size in sizes:
            row = by_key.get((size, k))
            cells.append(f"{row['ns_per_op']:.0f} ({row['ratio_to_floor']}x)" if row else "")
        lines.append(f"| {k} | " + " | ".join(cells) + " |")
    lines += ["", "get_entangled_group of a qubit in a group of the given size (a cluster wire; size "
              "1 is a lone qubit):", "", "| group size | ns per call | ratio to the floor |",
              "|---:|---:|---:|"]
    for row in workloads:
        if row["workload"] == "get_entangled_group":
            lines.append(f"| {row['N']} | {row['ns_per_op']:.0f} | {row['ratio_to_floor']} |")
    return lines


def shots_section(rows):
    """Shots per second of examples/distributed_shots.py's repetition code (bench_shots.py)."""
    single = {row["shots"]: row["shots_per_second"] for row in rows if row["workers"] == 0}
    lines = ["Repetition-code memory experiment of `examples/distributed_shots.py` (distance 5, "
             "5 rounds, Pauli error rate 0.05), the shots cut into the same batches for every "
             "setup; the cluster's time "
             "runs from the first submission to the last counts received, its start-up apart. "
             "Best of repeats.", "",
             "| setup | shots | batches | seconds | shots/s | vs single process | cluster start s "
             "| load |", "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for row in rows:
        startup = "" if row["startup_seconds"] is None else f"{row['startup_seconds']:.2f}"
        ratio = row["shots_per_second"] / single[row["shots"]]
        lines.append(f"| {row['setup']} | {row['shots']} | {row['batches']} | "
                     f"{row['seconds']:.3f} | {row['shots_per_second']:.0f} | {ratio:.2f}x | "
                     f"{startup} | {row['load_average']:.1f} |")
    return lines


def state_io_section(rows):
    """Whole states in and out (bench_state_io.py): each operation's best time and what it made."""
    lines = ["Best of repeats; the load average is the machine's at the time (2 cores, shared). The "
             "wire is h on every qubit and cz along it; the dense state is h on every qubit, then "
             "10 N random cz, cx, h and s on 1000 qubits.", "",
             f"{PEER} does the same work where it has it: `copy()`; its canonical stabilizers "
             "(equal to korvane's, checked); its whole state out and in as its own "
             "representation, `current_inverse_tableau()` and `set_inverse_tableau()`, in the "
             "rows of `graph` and `from_graph`.", "",
             f"| state | operation | ms | {PEER} ms | {PEER} / korvane | detail | load |",
             "|---|---|---:|---:|---:|---|---:|"]
    for row in rows:
        detail = ", ".join(f"{key} {value}" for key, value in row.items()
                           if key not in ("state", "operation", "seconds", "load_average", PEER))
        lines.append(f"| {row['state']} | {row['operation']} | {row['seconds'] * 1e3:.3f} | "
                     f"{peer.cells(row['seconds'], row.get(PEER), scale=1e3, digits=3)} | "
                     f"{detail} | {row['load_average']:.1f} |")
    return lines


def state_io_targets(rows):
    lines = []
    wire = {row["operation"]: row for row in rows if row["state"] == "wire 1000000"}
    if not wire:
        return lines
    for operation in ("copy", "pickle.dumps", "pickle.loads", "graph", "from_graph"):
        seconds = wire[operation]["seconds"]
        lines.append(f"- {operation} of the 10^6-qubit cluster wire well under 100 ms (under 50): "
                     f"{seconds * 1e3:.1f} ms: **{verdict(seconds < 0.05)}**")
    size = wire["pickle.dumps"]["bytes"] / 2**20
    lines.append(f"- Pickle of the 10^6-qubit wire well under 20 MB: {size:.1f} MiB: "
                 f"**{verdict(size < 10)}**")
    ratio = wire["build by calls"]["seconds"] / wire["from_graph"]["seconds"]
    lines.append(f"- from_graph of the wire at least 10x faster than building it by calls: "
                 f"{wire['from_graph']['seconds'] * 1e3:.1f} ms against "
                 f"{wire['build by calls']['seconds'] * 1e3:.1f} ms, {ratio:.1f}x: "
                 f"**{verdict(ratio >= 10)}**")
    return lines


def engine_ns_per_op(engine, name):
    rows = [row for row in engine if row["name"] == name]
    return rows[0]["ns_per_op"] if rows else None


def circuit_targets(circuits, engine, entangled, workloads):
    """The circuit layer's targets, each beside the same work as Python calls in this run. The
    circuit figures are the calling thread's CPU time (the machine is shared), wall time beside;
    the Python calls' figures are wall time, as their own sections report them."""
    lines = []
    by_name = {row["workload"]: row for row in circuits if row.get("threads", 1) == 1}
    mix = by_name.get("cz_cx_10 circuit")
    calls = next((row for row in entangled if row["workload"] == "cz_cx_10"), None)
    if mix:
        floor = engine_ns_per_op(engine, "BM_cz_cx_10_engine_calls")
        before = f"{calls['seconds_per_op'] * 1e9:.1f} ns as Python calls" if calls else "no calls"
        floor_note = f"; the engine's own calls {floor:.1f} ns in C++" if floor else ""
        lines.append(f"- The 10-qubit cz/cx mix as one circuit at most 15 ns per op: "
                     f"{mix['ns_per_op']:.1f} ns CPU, {mix['wall_ns_per_op']:.1f} ns wall "
                     f"(before: {before}{floor_note}): **{verdict(mix['ns_per_op'] <= 15)}**")
    wire = by_name.get("cluster_wire circuit")
    wire_calls = [row for row in workloads if row["workload"] == "cluster_wire" and row["N"] == 10**6]
    if wire and wire["N"] == 10**6:
        before = (f"{wire_calls[0]['seconds'] * 1e3:.0f} ms as Python calls" if wire_calls
                  else "no calls")
        floor = engine_ns_per_op(engine, "BM_cluster_wire_engine_calls")
        floor_note = (f"; the engine's own calls {floor * (3 * 10**6 - 2) / 1e6:.0f} ms in C++"
                      if floor else "")
        lines.append(f"- The 10^6-qubit cluster wire as one circuit under 30 ms: "
                     f"{wire['cpu_seconds'] * 1e3:.0f} ms CPU, {wire['seconds'] * 1e3:.0f} ms wall "
                     f"(before: {before}{floor_note}): **{verdict(wire['cpu_seconds'] <= 0.030)}**")
    rows = {(row["workload"], row["threads"]): row for row in circuits
            if row["workload"].startswith("repetition")}
    loop = rows.get(("repetition Python loop", 1))
    one = rows.get(("repetition sample_detectors", 1))
    two = rows.get(("repetition sample_detectors", 2))
    by_shots = rows.get(("repetition sample_detectors by shots", 1))
    if one:
        yardstick = (f"; shot by shot {by_shots['shots_per_second']:,}" if by_shots else "")
        if loop:
            yardstick += f"; the Python loop {loop['shots_per_second']:,}"
        theirs = peer.seconds_of(one.get(PEER), "cpu_seconds")
        if theirs:
            yardstick += f"; {PEER}'s compiled detector sampler in this run {one['shots'] / theirs:,.0f}"
        line = (f"- Repetition-code shots (distance 5, 5 rounds, with noise and detectors) by "
                f"sample_detectors with Pauli frames at least 7,000,000 shots/s (the tableau "
                f"simulator's compiled sampler on this machine, measured once when the target was "
                f"set): {one['shots_per_second']:,} shots/s on one thread "
                f"({one['shots'] / one['seconds']:,.0f} by wall time{yardstick})")
        if two:
            line += (f"; two threads together {two['shots_per_second']:,} shots/s by wall time "
                     f"(each thread's CPU time {two['thread_cpu_seconds']} s, the process's "
                     f"{two.get('process_cpu_seconds')} s, in {two['seconds']} s)")
        lines.append(line + f": **{verdict(one['shots_per_second'] >= 7_000_000)}**")
    cluster = by_name.get("cluster 100x100 sample")
    if cluster:
        lines.append(f"- The 100x100 cluster in random fixed bases by frames at least 10,000 "
                     f"shots/s, the reference run included once per {cluster['shots']:,} shots: "
                     f"{cluster['shots_per_second']:,} shots/s CPU "
                     f"({cluster['shots'] / cluster['seconds']:,.0f} by wall time; one shot "
                     f"{cluster['one_shot_cpu_seconds']} s; before: about 125 shots/s as Python "
                     f"calls; {PEER}'s compiled sampler in this run: "
                     f"{peer_shots(cluster)}): **{verdict(cluster['shots_per_second'] >= 10_000)}**")
    large = by_name.get("cluster 1000x1000 sample")
    if large:
        met = large["seconds"] < 60 and large["peak_gb"] < 4
        lines.append(f"- The 1000x1000 cluster, 1000 shots by frames within 60 s and 4 GB: "
                     f"{large['seconds']} s wall ({large['cpu_seconds']} s CPU), peak "
                     f"{large['peak_gb']} GB resident, the 1 GB result included: "
                     f"**{verdict(met)}**")
    return lines


def peer_shots(row):
    """stim's shots per second for a sampling row, or what stopped it."""
    theirs = row.get(PEER) or {}
    if "stopped_after" in theirs:
        return f"stopped at {theirs['stopped_after']:.0f} s"
    if "skipped" in theirs:
        return f"not run ({theirs['skipped']})"
    return f"{row['shots'] / theirs['cpu_seconds']:,.0f} shots/s" if theirs else "not run"


def circuits_section(circuits, engine):
    lines = ["Run from Python as one `korvane.Circuit` each (`bench/bench_circuits.py`), best of "
             "repeats; ns/op and one thread's shots/s from the calling thread's CPU time, two "
             "threads' from wall time. The engine rows run the same work in C++ "
             "(`bench/circuit_bench.cpp`, CPU time), by direct engine calls and by the compiled "
             f"circuit. {PEER} does the same work in a process of its own, also in CPU time: "
             "`TableauSimulator.do_circuit` on the same text for one run, its compiled sampler "
             "(made and sampled, as one korvane call makes its reference and samples) for shots; "
             f"the ratio is {PEER}'s time over korvane's, and a run stopped after "
             f"{peer.LIMIT:.0f} s gives that time.", "",
             f"| workload | threads | shots or ops | seconds | figure | {PEER} CPU s | "
             f"{PEER} / korvane | details |", "|---|---:|---:|---:|---:|---:|---:|---|"]
    for row in circuits:
        if "ns_per_op" in row:
            figure = f"{row['ns_per_op']:.1f} ns/op"
            count = row["ops"]
        else:
            figure = f"{row['shots_per_second']:,} shots/s"
            count = row["shots"]
        skip = {"workload", "threads", "shots", "ops", "seconds", "ns_per_op", "shots_per_second",
                PEER}
        details = ", ".join(f"{key}={value}" for key, value in row.items() if key not in skip)
        theirs = peer.cells(row.get("cpu_seconds", row["seconds"]), row.get(PEER),
                            key="cpu_seconds")
        lines.append(f"| {row['workload']} | {row.get('threads', 1)} | {count} | "
                     f"{row['seconds']:.4f} | {figure} | {theirs} | {details} |")
    lines += ["", "| engine benchmark (C++) | ns per item |", "|---|---:|"]
    for name in ("BM_cz_cx_10_engine_calls", "BM_cz_cx_10_circuit",
                 "BM_cz_cx_10_circuit_stop_checked", "BM_cz_cx_10_parse",
                 "BM_cluster_wire_engine_calls", "BM_cluster_wire_circuit",
                 "BM_cluster_wire_circuit_stop_checked",
                 "BM_repetition_code_shots", "BM_repetition_code_frames"):
        value = engine_ns_per_op(engine, name)
        if value is not None:
            lines.append(f"| {name} | {value:.1f} |")
    return lines


def qec_section(figures):
    """Error-correction experiments (bench_qec.py): models, detect to b8, decoding."""
    lines = ["Rotated surface-code memory (Z), rounds = d, every noise strength 0.1%; the tableau "
             "simulator (stim) on the same circuit text in the same run. Best of repeats.", "",
             "Detector error model generation (seconds):", "",
             "| d | detectors | korvane | stim | ratio | korvane decomposed | stim decomposed "
             "| korvane flattened | stim flattened | errors (korvane, folded) |",
             "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for row in figures["models"]:
        stim = row.get("stim_folded_seconds")
        cell = lambda key: f"{row[key]:.4f}" if key in row else "-"  # noqa: E731
        ratio = f"{stim / row['korvane_folded_seconds']:.1f}x" if stim else "-"
        lines.append(f"| {row['distance']} | {row['detectors']} | {cell('korvane_folded_seconds')} "
                     f"| {cell('stim_folded_seconds')} | {ratio} "
                     f"| {cell('korvane_decomposed_seconds')} | {cell('stim_decomposed_seconds')} "
                     f"| {cell('korvane_flattened_seconds')} | {cell('stim_flattened_seconds')} "
                     f"| {row['korvane_folded_errors']} |")
    lines += ["", "`detect` to a b8 file, d = 5 (the whole command, interpreter start-up "
              "included):", "", "| tool | shots | seconds | shots/s |", "|---|---:|---:|---:|"]
    for row in figures["detect"]:
        lines.append(f"| {row['tool']} | {row['shots']} | {row['seconds']:.3f} "
                     f"| {row['shots_per_second']:.0f} |")
    if figures["decoded"]:
        lines += ["", "End to end with PyMatching, d = 5: korvane samples, PyMatching decodes "
                  "from korvane's decomposed model:", "",
                  "| p | shots | sample s | decode s | decoding / sampling | shots/s end to end "
                  "| stim sample s |", "|---:|---:|---:|---:|---:|---:|---:|"]
        for row in figures["decoded"]:
            stim = row.get("stim_sample_seconds")
            lines.append(f"| {row['p']} | {row['shots']} | {row['sample_seconds']:.4f} "
                         f"| {row['decode_seconds']:.4f} "
                         f"| {row['decode_seconds'] / row['sample_seconds']:.1f}x "
                         f"| {row['shots_per_second']:.0f} | "
                         + (f"{stim:.4f} |" if stim else "- |"))
    return lines


def dense_targets(dense):
    """Dense random circuits against stim's tableau: every unitary row at least even with it, the
    measured row at least 10x ahead."""
    lines = []
    for row in dense:
        if "ratio" not in row:
            continue
        unitary = row["workload"].startswith("unitary")
        goal = 1.0 if unitary else 10.0
        kind = "unitary" if unitary else "with 15% measurements"
        lines.append(f"- Random circuit {kind}, n={row['qubits']:,}, {row['ops']:,} ops, at least "
                     f"{goal:g}x {PEER}'s tableau: {row['korvane_ns']:,.1f} ns/op against "
                     f"{row['tableau_ns']:,.1f} ns/op, {row['ratio']:.2f}x: "
                     f"**{verdict(row['ratio'] >= goal)}**")
    return lines


def dense_section(dense):
    lines = ["Random circuits as one `korvane.Circuit` (`bench/bench_dense.py`): half CZ/CX on "
             "random pairs, half H/S/X/Z; the measured mix adds 15% measurements on random axes. "
             f"korvane's `Korvane.run` and {PEER}'s `TableauSimulator.do_circuit` on the same text "
             "in one process, best of repeats of the calling thread's CPU time; the ratio is "
             f"{PEER}'s time over korvane's.", "",
             f"| circuit | qubits | ops | korvane ns/op | {PEER} ns/op | {PEER} / korvane |",
             "|---|---:|---:|---:|---:|---:|"]
    for row in dense:
        theirs = f"{row['tableau_ns']:,.1f}" if "tableau_ns" in row else "not run"
        ratio = f"{row['ratio']:.2f}x" if "ratio" in row else ""
        lines.append(f"| {row['workload']} | {row['qubits']:,} | {row['ops']:,} | "
                     f"{row['korvane_ns']:,.1f} | {theirs} | {ratio} |")
    return lines


def verdict(met):
    return "met" if met else "MISSED"


def peer_in_this_run(row, scale, unit):
    """"; stim in this run: ..." for a target's row, empty when stim did not time it."""
    theirs = peer.seconds_of(row.get(PEER))
    if theirs is None:
        return ""
    return f"; {PEER} in this run {theirs * scale:.3f} {unit}, {theirs / row['seconds']:.1f}x korvane's"


def entangled_targets(entangled, calls, workloads):
    lines = []
    by_key = {(row["workload"], row["n"]): row for row in entangled}
    for family in ("ghz_chain", "ghz_star"):
        small, large = by_key.get((family, 10**4)), by_key.get((family, 10**6))
        if small:
            lines.append(f"- {family} of 10^4 qubits built and measured within the tableau "
                         f"method's {STIM_GHZ_10K_SECONDS * 1e3:.0f} ms: {small['seconds'] * 1e3:.1f} "
                         f"ms{peer_in_this_run(small, 1e3, 'ms')}: "
                         f"**{verdict(small['seconds'] <= STIM_GHZ_10K_SECONDS)}**")
        if large:
            lines.append(f"- {family} of 10^6 qubits under 1 s: {large['seconds']:.3f} s: "
                         f"**{verdict(large['seconds'] < 1.0)}**")
    for n, stim in STIM_US_PER_OP.items():
        row = by_key.get(("random_all_pairs", n))
        if row:
            per_op = row["seconds_per_op"] * 1e6
            lines.append(f"- Random circuits on all pairs, n={n}, at least 3x faster per op than "
                         f"the tableau method's {stim} us: {per_op:.3f} us/op "
                         f"({stim / per_op:.0f}x{peer_in_this_run(row, 1e6 / row['ops'], 'us')}): "
                         f"**{verdict(per_op * 3 <= stim)}**")
    for row in entangled:
        if row["workload"] == "long_local_run" and row["n"] == 20000:
            peak = row["peak_rss"] / 2**20
            lines.append(f"- Long local run ({row['ops']} operations on {row['n']} qubits) under "
                         f"60 s with resident memory under 1 GB: {row['seconds']:.1f} s, peak "
                         f"{peak:.0f} MiB: **{verdict(row['seconds'] < 60 and peak < 1024)}**")
        if row["workload"] == "cz_cx_10":
            per_op = row["seconds_per_op"] * 1e9
            lines.append(f"- 10-qubit circuits of cz/cx and h/s/x/z at most 150 ns per op: "
                         f"{per_op:.1f} ns: **{verdict(per_op <= 150)}**")
    wire = [row for row in workloads if row["workload"] == "cluster_wire" and row["N"] == 10**6]
    if wire and wire[0].get("no_op_loops_s"):
        ratio = wire[0]["seconds"] / wire[0]["no_op_loops_s"]
        lines.append(f"- 10^6-qubit cluster wire within 3x of its loops making 3N no-op calls "
                     f"instead: {wire[0]['seconds']:.3f} s against {wire[0]['no_op_loops_s']:.3f} s, "
                     f"{ratio:.2f}x: **{verdict(ratio <= 3)}**")
    peeks = {(row["N"], row["k"]): row for row in workloads if row["workload"] == "peek_measure_set"}
    peek = peeks.get((10**6, 10))
    if peek:
        lines.append(f"- peek_measure_set of 10 qubits of a 10^6-qubit cluster under 50 us: "
                     f"{peek['ns_per_op'] / 1e3:.2f} us: **{verdict(peek['ns_per_op'] < 50e3)}**")
    for k in (1, 10):
        costs = [row["ns_per_op"] for (size, kk), row in peeks.items() if kk == k]
        if len(costs) > 1:
            spread = max(costs) / min(costs)
            lines.append(f"- A peek of {k} costs the same whatever the register's size: "
                         f"{min(costs):.0f} to {max(costs):.0f} ns over "
                         f"N = {', '.join(str(s) for (s, kk) in sorted(peeks) if kk == k)} "
                         f"({spread:.2f}x): **{verdict(spread < 2)}**")
    lone = [row for row in workloads if row["workload"] == "get_entangled_group" and row["N"] == 1]
    if lone:
        lines.append(f"- get_entangled_group of a lone qubit within 3x of the floor: "
                     f"{lone[0]['ratio_to_floor']}x: **{verdict(lone[0]['ratio_to_floor'] <= 3)}**")
    return lines


def targets(engine, calls, workloads):
    lines = []
    worst = {}
    for row in calls:
        worst[row["kind"]] = max(worst.get(row["kind"], 0.0), row["ratio"])
    single = worst.get("single", 0.0)
    lines.append(f"- Single-qubit gate calls within 1.5x of the no-op floor: worst ratio "
                 f"{single:.2f}: **{verdict(single <= 1.5)}**")
    pair = max(worst.get("two", 0.0), worst.get("measure", 0.0))
    lines.append(f"- Two-qubit and measurement calls within 3x of the floor: worst ratio "
                 f"{pair:.2f} (two-qubit {worst.get('two', 0):.2f}, measurement "
                 f"{worst.get('measure', 0):.2f}): **{verdict(pair <= 3.0)}**")
    construct = [row for row in workloads if row["workload"] == "construct"][-1]
    lines.append(f"- Fresh register at most 32 bytes per qubit: {construct['bytes_per_qubit']} "
                 f"bytes per qubit at N={construct['N']} (resident size): "
                 f"**{verdict(construct['bytes_per_qubit'] <= 32.5)}** "
                 f"(bytes per edge of a cluster wire: {construct['bytes_per_edge']})")
    lines.append(f"- Korvane(10**7) well under a second: {construct['seconds']:.3f} s: "
                 f"**{verdict(construct['seconds'] < 0.5)}**")
    wire = [row for row in workloads if row["workload"] == "cluster_wire" and row["N"] == 10**6]
    if wire:
        lines.append(f"- 10^6-qubit cluster wire built and measured under 1 s: "
                     f"{wire[0]['seconds']:.3f} s: **{verdict(wire[0]['seconds'] < 1.0)}**")
    circuit = [row for row in engine if row["name"].startswith("BM_random_circuit_by_size")]
    if circuit:
        low, high = circuit[0]["ns_per_op"], circuit[-1]["ns_per_op"]
        lines.append(f"- Time per operation on bounded-degree graphs does not grow with N: engine "
                     f"random circuit {low:.0f} ns/op at N=10^3, {high:.0f} ns/op at N=10^7 "
                     f"(degree {circuit[-1]['operand_degree']:.2f}); growth {high / low:.2f}x "
                     f"over 10^4x in N, from cache misses, not O(N) work: "
                     f"**{verdict(high / low < 5)}**")
    return lines


def plot(engine, workloads, entangled, out_png):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, (by_size, by_degree, against_tableau) = plt.subplots(1, 3, figsize=(18, 4.5))
    for family in ("ghz_chain", "ghz_star", "random_all_pairs"):
        rows = [row for row in entangled if row["workload"] == family]
        line, = against_tableau.plot([r["n"] for r in rows], [r["seconds_per_op"] * 1e9 for r in rows],
                                     "o-", label=f"korvane {family}")
        timed = [r for r in rows if r["tableau_seconds"] is not None]
        against_tableau.plot([r["n"] for r in timed], [r["tableau_seconds_per_op"] * 1e9 for r in timed],
                             "s--", color=line.get_color(), label=f"tableau {family}")
        theirs = [r for r in rows if peer.seconds_of(r.get(PEER))]
        against_tableau.plot([r["n"] for r in theirs],
                             [peer.seconds_of(r[PEER]) / r["ops"] * 1e9 for r in theirs],
                             "^:", color=line.get_color(), label=f"{PEER} {family}")
    against_tableau.set(xscale="log", yscale="log", xlabel="qubits n", ylabel="ns per operation",
                        title=f"Entangled workloads: korvane and {PEER} (Python), the tableau (C++)")
    against_tableau.legend(fontsize=7)
    for name in ("cluster_wire", "random_circuit", "cluster_2d", "ghz"):
        rows = [row for row in workloads if row["workload"] == name]
        by_size.plot([r["N"] for r in rows], [r["ns_per_op"] for r in rows], "o-",
                     label=f"Python {name}")
    for prefix, label in (("BM_random_circuit_by_size", "engine random circuit"),
                          ("BM_single_qubit_gate/gate:3", "engine h, random qubit")):
        rows = [row for row in engine if row["name"].startswith(prefix)]
        sizes = [int(re.search(r"N:(\d+)", r["name"]).group(1)) for r in rows]
        by_size.plot(sizes, [r["ns_per_op"] for r in rows], "s--", label=label)
    by_size.set(xscale="log", yscale="log", xlabel="qubits N", ylabel="ns per operation",
                title="Time per operation against N")
    by_size.legend(fontsize=8)
    for prefix, label in (("BM_cz_by_degree", "cz"), ("BM_cx_by_degree", "cx"),
                          ("BM_local_complement_by_degree", "local_complement")):
        rows = [row for row in engine if row["name"].startswith(prefix)]
        degrees = [int(re.search(r"degree:(\d+)", r["name"]).group(1)) for r in rows]
        by_degree.plot([max(d, 0.5) for d in degrees], [r["ns_per_op"] for r in rows], "o-",
                       label=label)
    for axis in "xyz":
        rows = [row for row in engine
                if row["name"].startswith("BM_measure_by_degree") and row["label"] == f"measure_{axis}"]
        degrees = [int(re.search(r"degree:(\d+)", r["name"]).group(1)) for r in rows]
        by_degree.plot([max(d, 0.5) for d in degrees], [r["ns_per_op"] for r in rows], "^:",
                       label=f"measure_{axis}")
    by_degree.set(xscale="log", yscale="log", xlabel="degree (0 drawn at 0.5)",
                  ylabel="ns per operation", title="Engine time per operation against degree")
    by_degree.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(out_png, dpi=110)


def main():
    figures, out = Path(sys.argv[1]), Path(sys.argv[2])
    engine = engine_rows(figures / "engine.json")
    calls = json.load(open(figures / "calls.json"))
    workloads = json.load(open(figures / "workloads.json"))
    entangled = json.load(open(figures / "entangled.json"))
    circuits_path = figures / "circuits.json"
    circuits = json.load(open(circuits_path)) if circuits_path.exists() else []
    plot(engine, workloads, entangled, out / "scaling.png")
    shots_path = figures / "shots.json"
    shots_json = shots_path if shots_path.exists() else None
    state_io_path = figures / "state_io.json"
    state_io = json.load(open(state_io_path)) if state_io_path.exists() else []
    dense_path = figures / "dense.json"
    dense = json.load(open(dense_path)) if dense_path.exists() else []
    lattice_path, headline_path = figures / "lattice.json", out / "lattice_headline.json"
    lattice = json.load(open(lattice_path)) if lattice_path.exists() else []
    headline = json.load(open(headline_path)) if headline_path.exists() else []
    comparison_path = out / "lattice_comparison.json"
    comparison = json.load(open(comparison_path)) if comparison_path.exists() else None
    windows_path = out / "storage_windows.json"
    windows = json.load(open(windows_path)) if windows_path.exists() else []
    notes_path = out / "REPORT_NOTES.md"
    lines = ["# korvane benchmark report", "",
             "Produced by `bash tools/run.sh bench` (bench/run.sh); the figures below are those of "
             "the run that wrote this file.", "", "## Machine", ""]
    lines += machine_lines()
    lines += ["", "## Targets", ""] + targets(engine, calls, workloads)
    lines += entangled_targets(entangled, calls, workloads)
    lines += state_io_targets(state_io)
    lines += circuit_targets(circuits, engine, entangled, workloads)
    lines += dense_targets(dense) + windows_targets(windows)
    lines += lattice_targets(lattice, headline)
    if notes_path.exists():
        lines += ["", notes_path.read_text().strip()]
    lines += ["", "## Call overhead (Python)", "",
              "Best of interleaved repeats; ratio = ns per call / ns per call of the no-op method "
              "with the same calling convention (korvane_call_floor).", ""]
    lines += calls_table(calls)
    lines += ["", "## Entangled workloads against the stabilizer tableau", "",
              "korvane driven from Python (each circuit in a fresh process) and the stabilizer "
              "tableau of the C++ tests (bench/tableau_bench.cpp) on exactly the same operations: "
              "GHZ by a cx chain or star then Z on every qubit; random circuits on all pairs (40% "
              "single-qubit gates, 45% two-qubit gates, 15% measurements); the long local run "
              "(the same mix, partners within 30 places); 10-qubit circuits of cz/cx and h/s/x/z.",
              ""] + entangled_table(entangled)
    lines += ["", "## Trial measurements and group queries (Python)", ""]
    lines += peek_and_group_tables(workloads)
    lines += ["", "## Workloads (Python, end to end)", ""] + workload_table(workloads)
    if state_io:
        lines += ["", "## Whole states in and out (Python)", ""] + state_io_section(state_io)
    if circuits:
        lines += ["", "## Circuits and shots", ""] + circuits_section(circuits, engine)
    if dense or windows:
        lines += ["", "## Dense circuits against the tableau", ""]
        lines += (dense_section(dense) if dense else []) + windows_section(windows)
    if lattice or headline:
        lines += ["", "## Lattice cluster states", ""] + lattice_section(lattice, headline, comparison)
    if shots_json:
        lines += ["", "## Many shots", ""] + shots_section(json.load(open(shots_json)))
    qec_path = figures / "qec.json"
    if qec_path.exists():
        lines += ["", "## Error-correction experiments", ""] + qec_section(json.load(open(qec_path)))
    lines += ["", "## Engine (C++, Google Benchmark)", "",
              "Graph-changing benchmarks run batches of 32 operations on a restored copy of a "
              "random graph of 4096 qubits with the given degree bound.", ""]
    lines += engine_table(engine)
    lines += ["", "## Scaling", "", "![time per operation against N and degree](scaling.png)", ""]
    (out / "REPORT.md").write_text("\n".join(lines))
    print("\n".join(lines[:40]))


if __name__ == "__main__":
    main()
