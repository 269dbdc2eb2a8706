"""The report's part on the long runs window by window (korvane_storage_bench, in C++): the long
local mix and the all-pairs mix on tens of thousands of qubits, with the stabilizer tableau of the
C++ tests on the same circuit beside them where it was run. They take many minutes each, so they
are run on their own and kept beside the report (bench/storage_windows.json); this script adds a
run to that file:

    python3 bench/windows_report.py bench/storage_windows.json --name NAME --command COMMAND
        --korvane KORVANE.jsonl [--tableau TABLEAU.jsonl --tableau-command COMMAND]
        [--from OPS] [--target-seconds S --ops OPS]

KORVANE.jsonl and TABLEAU.jsonl are the bench's output (with and without `--tableau`); --from is
the first operation of the windows the target speaks of, --target-seconds a bound on the whole
run of OPS operations' time (by the thread's CPU time: the machine is shared).
"""

import argparse
import json
from pathlib import Path


def _verdict(met):
    return "**met**" if met else "**MISSED**"


def _representation(window):
    if window.get("tableau"):
        return "tableau"
    return "matrix" if window.get("dense") else "sets"


def _mean(windows, key):
    return sum(window[key] for window in windows) / len(windows)


def _compared(run):
    """The windows from the run's start on, each korvane window with its tableau window."""
    tableau = {window["done"]: window for window in run.get("tableau", [])}
    return [(window, tableau.get(window["done"])) for window in run["korvane"]
            if window["done"] > run.get("from", 0)]


def windows_targets(runs):
    """Target lines: the whole run's time within its bound, or korvane against the tableau."""
    lines = []
    for run in runs:
        windows = run["korvane"]
        last = windows[-1]
        if "target_seconds" in run:
            cpu = sum(window["cpu_us_per_op"] for window in windows) * run["every"] / 1e6
            done = last["done"] >= run["ops"]
            lines.append(f"- {run['name']}, {run['ops']:,} operations within "
                         f"{run['target_seconds']:g} s: {cpu:,.0f} s CPU, "
                         f"{last['total_seconds']:,.0f} s wall"
                         + ("" if done else f" for the first {last['done']:,}")
                         + f": {_verdict(done and cpu <= run['target_seconds'])}")
        pairs = [(ours, theirs) for ours, theirs in _compared(run) if theirs]
        if pairs:
            ours = sum(pair[0]["cpu_us_per_op"] for pair in pairs) / len(pairs)
            theirs = sum(pair[1]["cpu_us_per_op"] for pair in pairs) / len(pairs)
            lines.append(f"- {run['name']}, operations {run['from']:,} to {last['done']:,}, at "
                         f"least even with the stabilizer tableau of the C++ tests: {ours:,.0f} "
                         f"us/op CPU against {theirs:,.0f}, {theirs / ours:.2f}x: "
                         f"{_verdict(ours <= theirs)}")
    return lines


def windows_section(runs):
    """One table per run: every window's time, representation and moves, the tableau beside."""
    lines = ["", "### Long runs window by window", "",
             "`korvane_storage_bench` (bench/storage_bench.cpp): one seeded circuit of "
             "tests/cpp/support/workloads.h (40% single-qubit gates, 45% two-qubit gates of nine "
             "kinds, 15% measurements on random axes) on the engine in C++, the representation "
             "left automatic. Each window gives the calling thread's CPU time and the wall time "
             "(the machine was shared, so wall time is the longer), what held the state at its "
             "end (sets, matrix or tableau) and the moves between graph and tableau in it. The "
             "tableau of the C++ tests, where it ran beside, timed the same circuit in a process "
             "of its own."]
    for run in runs:
        with_tableau = any(theirs for _, theirs in _compared(run))
        lines += ["", f"{run['name']}: `{run['command']}`"
                  + (f"; the tableau: `{run['tableau_command']}`" if with_tableau else "") + ".",
                  "", "| ops done | held as | mean degree | korvane CPU s | wall s | CPU us/op | "
                  "moves |" + (" tableau CPU us/op | tableau / korvane |" if with_tableau else ""),
                  "|---:|---|---:|---:|---:|---:|---:|" + ("---:|---:|" if with_tableau else "")]
        for ours, theirs in _compared(run):
            degree = ("" if ours["tableau"] else f"{ours['mean_degree']:,.1f}"
                      if ours["mean_degree"] < 10 else f"{ours['mean_degree']:,.0f}")
            moves = ours["entries"] + ours["returns"]
            row = (f"| {ours['done']:,} | {_representation(ours)} | {degree} | "
                   f"{ours['cpu_us_per_op'] * run['every'] / 1e6:,.1f} | {ours['seconds']:,.1f} | "
                   f"{ours['cpu_us_per_op']:,.1f} | "
                   + (f"{moves} ({ours['switch_seconds']:.1f} s)" if moves else "") + " |")
            if with_tableau:
                row += (f" {theirs['cpu_us_per_op']:,.1f} | "
                        f"{theirs['cpu_us_per_op'] / ours['cpu_us_per_op']:.2f}x |"
                        if theirs else " | |")
            lines.append(row)
        if "note" in run:
            lines += ["", run["note"]]
    return lines


# What the file keeps of each window the bench printed.
KEPT = ("done", "cpu_us_per_op", "us_per_op", "seconds", "total_seconds", "mean_degree", "dense",
        "tableau", "entries", "returns", "switch_seconds", "peak_rss_mib")


def _read_windows(path):
    windows = [json.loads(line) for line in Path(path).read_text().splitlines() if '"done"' in line]
    return [{key: window[key] for key in KEPT if key in window} for window in windows]


def _dump(runs):
    """The runs as JSON with one window a line."""
    parts = []
    for run in runs:
        fields = []
        for key, value in run.items():
            if isinstance(value, list):
                value = "[\n   " + ",\n   ".join(json.dumps(item) for item in value) + "\n  ]"
            else:
                value = json.dumps(value)
            fields.append(f"  {json.dumps(key)}: {value}")
        parts.append(" {\n" + ",\n".join(fields) + "\n }")
    return "[\n" + ",\n".join(parts) + "\n]\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("json")
    parser.add_argument("--name", required=True)
    parser.add_argument("--command", required=True)
    parser.add_argument("--korvane", required=True)
    parser.add_argument("--tableau")
    parser.add_argument("--tableau-command")
    parser.add_argument("--from", dest="start", type=int, default=0)
    parser.add_argument("--target-seconds", type=float)
    parser.add_argument("--ops", type=int)
    parser.add_argument("--note")
    args = parser.parse_args()
    path = Path(args.json)
    runs = json.loads(path.read_text()) if path.exists() else []
    korvane = _read_windows(args.korvane)
    run = {"name": args.name, "command": args.command, "from": args.start,
           "every": korvane[1]["done"] - korvane[0]["done"], "korvane": korvane}
    if args.tableau:
        run["tableau"] = _read_windows(args.tableau)
        run["tableau_command"] = args.tableau_command
    if args.target_seconds:
        run["target_seconds"] = args.target_seconds
        run["ops"] = args.ops
    if args.note:
        run["note"] = args.note
    runs = [other for other in runs if other["name"] != args.name] + [run]
    path.write_text(_dump(runs))
    print("\n".join(windows_targets(runs) + windows_section(runs)))


if __name__ == "__main__":
    main()
