"""stim, the tableau simulator, timed beside korvane in the same run, and the report's cells for it.

The benchmarks hand it the same work as Python source using stim (installed from the package
index by the `bench` extra; korvane never imports it). Each piece runs in a child process of its
own, stopped after a time limit, so that work stim cannot finish gives the time at which it was
stopped instead of a hang; work whose tableau cannot be held in memory is not started at all.
"""

import json
import subprocess
import sys
import textwrap

PEER = "stim"
# Seconds after which a child is stopped; the report gives this time for work stim did not finish.
LIMIT = 60.0
# A tableau of n qubits keeps 2n Pauli rows of n qubits, about n^2 / 2 bytes: work needing more
# than this is not started on a shared machine of 24 GiB.
TABLEAU_BUDGET_BYTES = 4 * 2**30

TIMING = """
import json, time
import stim
{setup}
def work():
{statement}
walls, cpus, result = [], [], None
for _ in range({repeats}):
    wall, cpu = time.perf_counter(), time.thread_time()
    result = work()
    cpus.append(time.thread_time() - cpu)
    walls.append(time.perf_counter() - wall)
print(json.dumps({{"seconds": min(walls), "cpu_seconds": min(cpus), "result": {check}}}))
"""


def tableau_bytes(qubits):
    return qubits * qubits // 2


def unfit(qubits):
    """Why a tableau of `qubits` qubits is not made, or None when it fits."""
    if tableau_bytes(qubits) <= TABLEAU_BUDGET_BYTES:
        return None
    return {"skipped": f"tableau of {tableau_bytes(qubits) / 2**30:,.0f} GB"}


def seconds(setup, statement, repeats=3, limit=LIMIT, qubits=None, check="result"):
    """Best wall and CPU time of `statement` (the body of a function) over `repeats` calls, after
    `setup`, in a child process: {"seconds", "cpu_seconds", "result"}, where "result" is the
    expression `check` worked out untimed after the last call, which returned `result` (it must
    give JSON: a figure the caller checks); or {"stopped_after"} when the child ran past `limit`
    seconds; or {"skipped"} when the tableau of `qubits` qubits would not fit in memory."""
    if qubits is not None and unfit(qubits):
        return unfit(qubits)
    script = TIMING.format(setup=textwrap.dedent(setup),
                           statement=textwrap.indent(textwrap.dedent(statement), "    "),
                           repeats=repeats, check=check)
    try:
        done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                              timeout=limit)
    except subprocess.TimeoutExpired:
        return {"stopped_after": limit}
    if done.returncode != 0:
        raise RuntimeError(f"{PEER} failed:\n{done.stderr}")
    return json.loads(done.stdout.splitlines()[-1])


def seconds_of(peer, key="seconds"):
    """The peer's time, or None when it did not run to the end."""
    return peer.get(key) if peer else None


def cells(ours, peer, key="seconds", scale=1.0, digits=4):
    """The two report cells after korvane's figure `ours` (a time for some work, in seconds):
    stim's time for the same work, times `scale` and to `digits` places, and stim's time over
    korvane's (above 1 where korvane is faster). Work stim did not finish gives the time it was
    stopped at and a lower bound of the ratio."""
    if not peer:
        return "| "
    if "skipped" in peer:
        return f"not run ({peer['skipped']}) | "
    if "stopped_after" in peer:
        bound = ratio(peer["stopped_after"], ours, decimals=0)
        return f"stopped at {peer['stopped_after']:.0f} s | > {bound}"
    return f"{peer[key] * scale:,.{digits}f} | {ratio(peer[key], ours)}"


def ratio(theirs, ours, decimals=1):
    """stim's time over korvane's, to `decimals` places, or two significant digits below 1."""
    value = theirs / ours
    return f"{value:,.{decimals}f}x" if value >= 1 else f"{value:.2g}x"


HEADER = f"{PEER} | {PEER} / korvane"
