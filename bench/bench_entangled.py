"""Entangled workloads from Python beside the stabilizer tableau: GHZ by a cx chain and by a cx
star (then Z on every qubit), random circuits on all pairs, the long local run, and 10-qubit
circuits of cz/cx and h/s/x/z; each also replayed call by call on stim's TableauSimulator
(bench/peer.py).

Usage: PYTHONPATH=<build dir> python3.14 bench/bench_entangled.py TABLEAU_JSONL --json FILE
TABLEAU_JSONL is the output of `korvane_tableau_bench --circuits DIR`: one line per workload with
the circuit file it wrote and, where a tableau could hold the register, the tableau's time. Each
circuit is replayed here through korvane in a fresh process (so its peak resident memory is its
own), with a check of what the state must do; nothing checks a time.
"""

import argparse
import json
import subprocess
import sys

import peer

REPLAY = r"""
import json, struct, sys, time
import korvane

def resident(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field):
                return int(line.split()[1]) * 1024
    return 0

path, workload, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(path, "rb") as source:
    records = list(struct.iter_unpack("<BBII", source.read()))
sim = korvane.Korvane(size)
singles = (sim.x, sim.y, sim.z, sim.h, sim.s, sim.sdag)
pairs = (sim.cz, sim.cx, sim.cy, sim.xcx, sim.xcy, sim.xcz, sim.ycx, sim.ycy, sim.ycz)
measurements = (sim.measure_x, sim.measure_y, sim.measure_z)
calls = [(singles[which], (q,)) if kind == 0 else
         (pairs[which], (q, t)) if kind == 1 else (measurements[which], (q,))
         for kind, which, q, t in records]
del records
baseline = resident("VmRSS:")
start = time.perf_counter()
results = [call(*arguments) for call, arguments in calls]
seconds = time.perf_counter() - start
outcomes = [int(r) for r in results if r is not None]
if workload.startswith("ghz"):
    # Z on every qubit of a GHZ state: all outcomes agree.
    check = len(outcomes) == size and len(set(outcomes)) == 1
else:
    # Any qubit measured twice in a row gives the same outcome.
    q = calls[-1][1][0]
    check = sim.measure_z(q) == sim.measure_z(q)
print(json.dumps({"seconds": seconds, "check": check, "peak_rss": resident("VmHWM:"),
                  "rss_before_run": baseline}))
"""


# The same calls on stim's TableauSimulator; X and Y measurements (which it has no method for)
# through do() with instructions made beforehand.
STIM_SETUP = """
import struct
with open({path!r}, "rb") as source:
    records = list(struct.iter_unpack("<BBII", source.read()))
sim = stim.TableauSimulator()
sim.set_num_qubits({size})
singles = (sim.x, sim.y, sim.z, sim.h, sim.s, sim.s_dag)
pairs = (sim.cz, sim.cx, sim.cy, sim.xcx, sim.xcy, sim.xcz, sim.ycx, sim.ycy, sim.ycz)
calls = [(singles[which], (q,)) if kind == 0 else (pairs[which], (q, t)) if kind == 1 else
         (sim.measure, (q,)) if which == 2 else
         (sim.do, (stim.CircuitInstruction("MX" if which == 0 else "MY", [q]),))
         for kind, which, q, t in records]
del records
"""
STIM_STATEMENT = """
outcomes = [r for r in (call(*arguments) for call, arguments in calls) if r is not None]
if {ghz}:
    return len(set(outcomes)) == 1
q = calls[-1][1][0]
return sim.measure(q) == sim.measure(q)
"""


def replay_on_stim(row):
    timed = peer.seconds(STIM_SETUP.format(path=row["circuit"], size=row["n"]),
                         STIM_STATEMENT.format(ghz=row["workload"].startswith("ghz")),
                         repeats=1, qubits=row["n"])
    if timed.get("result") is False:
        raise AssertionError(f"{row['workload']} on {row['n']} qubits: stim's state check failed")
    return timed


def replay(row):
    out = subprocess.run([sys.executable, "-c", REPLAY, row["circuit"], row["workload"],
                          str(row["n"])], check=True, capture_output=True, text=True).stdout
    figures = json.loads(out)
    if not figures["check"]:
        raise AssertionError(f"{row['workload']} on {row['n']} qubits: the state check failed")
    return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tableau_jsonl")
    parser.add_argument("--json", help="write the figures to this file")
    args = parser.parse_args()
    rows = []
    with open(args.tableau_jsonl) as lines:
        for line in lines:
            tableau = json.loads(line)
            figures = replay(tableau)
            row = {"workload": tableau["workload"], "n": tableau["n"], "ops": tableau["ops"],
                   "seconds": figures["seconds"], "seconds_per_op": figures["seconds"] / tableau["ops"],
                   "peak_rss": figures["peak_rss"], "rss_before_run": figures["rss_before_run"],
                   "tableau_seconds": tableau.get("seconds"),
                   "tableau_seconds_per_op": tableau.get("seconds_per_op"),
                   peer.PEER: replay_on_stim(tableau)}
            rows.append(row)
            yardstick = (f"tableau {row['tableau_seconds']:9.4f} s" if row["tableau_seconds"] is not None
                         else "tableau: register too large")
            print(f"  {row['workload']:<17} n={row['n']:>8} ops={row['ops']:>8}  "
                  f"{row['seconds']:9.4f} s  {row['seconds_per_op'] * 1e6:8.3f} us/op  {yardstick}  "
                  f"peak {row['peak_rss'] / 2**20:.0f} MiB  {peer.PEER} {row[peer.PEER]}")
    if args.json:
        with open(args.json, "w") as out:
            json.dump(rows, out, indent=1)


if __name__ == "__main__":
    main()
