"""End-to-end Python workloads: cluster wires, a 2D cluster, random sparse circuits with
interleaved measurements, GHZ states from a measured chain, peek_measure_set and
get_entangled_group beside a no-op call, and the memory of a large register.

Usage: PYTHONPATH=<build dir>:<build dir>/bench python3.14 bench/bench_workloads.py [--quick]
       [--json FILE]
Every workload checks a physical property of its result (outcome correlations), so a fast but
wrong engine does not pass unnoticed; nothing checks a time. The cluster wires, 2D clusters,
random circuits and GHZ states are also timed call by call on stim's TableauSimulator where it
can hold them (bench/peer.py), with the same checks; its X measurement (which it has no method
for) is h then measure, which leaves the measured qubit, never used again, in another basis.
"""

import argparse
import json
import math
import random
import subprocess
import sys
import time

import korvane
import korvane_call_floor
import peer

results = []

# Each workload below as the same calls on stim's TableauSimulator: setup (untimed) and the timed
# statement, which leaves what the check needs; the check's value must be True.
STIM_WORKLOADS = {
    "cluster_wire": ("", """
        sim = stim.TableauSimulator()
        sim.set_num_qubits({size})
        for q in range({size}):
            sim.h(q)
        for q in range({size} - 1):
            sim.cz(q, q + 1)
        flip_x, flip_z = 0, 0
        for q in range({size} - 1):
            sim.h(q)
            outcome = int(sim.measure(q))
            flip_x, flip_z = flip_z ^ outcome, flip_x
        return sim, flip_x, flip_z
    """, """(result[0].measure({size} - 1) == result[1]) if ({size} - 1) % 2 else
            (result[0].h({size} - 1) or result[0].measure({size} - 1) == result[2])"""),
    "cluster_2d": ("import math\nside = math.isqrt({size})\nqubits = side * side", """
        sim = stim.TableauSimulator()
        sim.set_num_qubits(qubits)
        for q in range(qubits):
            sim.h(q)
        for row in range(side):
            for col in range(side):
                q = row * side + col
                if col + 1 < side:
                    sim.cz(q, q + 1)
                if row + 1 < side:
                    sim.cz(q, q + side)
        for q in range(qubits):
            sim.measure(q)
        return sim
    """, "result.peek_z(qubits // 2) != 0"),
    "random_circuit": ("""
        import random
        rng = random.Random(5)
        sim = stim.TableauSimulator()
        sim.set_num_qubits({size})
        sim.h(*range({size}))
        for q in range({size}):
            sim.cz(q, (q + 1) % {size})
        singles = [sim.x, sim.y, sim.z, sim.h, sim.s, sim.s_dag]
        plan = []
        for _ in range({steps}):
            a = rng.randrange({size})
            plan.append((a, (a + 1) % {size}, (a - 1) % {size}, rng.choice(singles),
                         rng.choice(singles), rng.choice((sim.cz, sim.cx))))
        measure, h, cz = sim.measure, sim.h, sim.cz
    """, """
        for a, b, p, g1, g2, gate in plan:
            g1(a)
            g2(b)
            gate(a, b)
            measure(a)
            h(a)
            cz(p, a)
            cz(a, b)
        return plan[-1][1]
    """, "sim.measure(result) == sim.measure(result)"),
    "ghz": ("length = 2 * {size} - 1", """
        sim = stim.TableauSimulator()
        sim.set_num_qubits(length)
        for q in range(length):
            sim.h(q)
        for q in range(length - 1):
            sim.cz(q, q + 1)
        outcomes = {{}}
        for q in range(length - 2, 0, -2):
            sim.h(q)
            outcomes[q] = int(sim.measure(q))
        parity = 0
        for q in range(2, length, 2):
            parity ^= outcomes[q - 1]
            if parity:
                sim.x(q)
        return [sim.measure(q) for q in range(0, length, 2)]
    """, "len(set(result)) == 1"),
}


def on_stim(workload, size, qubits, **parameters):
    """The workload timed on stim (peer.seconds), its check enforced."""
    setup, statement, check = (part.format(size=size, **parameters)
                               for part in STIM_WORKLOADS[workload])
    timed = peer.seconds(setup, statement, repeats=1, qubits=qubits, check=check)
    if timed.get("result") is False:
        raise AssertionError(f"{workload} of {size} on stim: the check failed")
    return timed


def record(workload, size, seconds, operations, **extra):
    row = {"workload": workload, "N": size, "seconds": seconds, "operations": operations,
           "ns_per_op": seconds / operations * 1e9 if operations else None, **extra}
    results.append(row)
    detail = " ".join(f"{key}={value}" for key, value in extra.items())
    print(f"  {workload:<22} N={size:>9}  {seconds:9.3f} s  {row['ns_per_op'] or 0:8.1f} ns/op  {detail}")


def cluster_wire(size):
    """h on every qubit, cz between neighbours, X on every qubit but the last. The last qubit
    then holds H^(N-1) |+> up to a Pauli frame from the outcomes: Z-basis certain for odd N-1."""
    start = time.perf_counter()
    sim = korvane.Korvane(size)
    for q in range(size):
        sim.h(q)
    for q in range(size - 1):
        sim.cz(q, q + 1)
    built = time.perf_counter()
    flip_x, flip_z = 0, 0
    for q in range(size - 1):
        outcome = int(sim.measure_x(q))
        flip_x, flip_z = flip_z ^ outcome, flip_x
    done = time.perf_counter()
    # |+> through an even number of H stays |+> (X frame flips give -1 only via Z); through an
    # odd number it is |0>, flipped by the X frame.
    if (size - 1) % 2:
        expected = flip_x
        got = int(sim.measure_z(size - 1))
    else:
        expected = flip_z
        got = int(sim.measure_x(size - 1))
    if got != expected:
        raise AssertionError(f"cluster wire of {size}: teleported state is wrong")
    operations = 3 * size - 2
    record("cluster_wire", size, done - start, operations,
           build_s=round(built - start, 3), measure_s=round(done - built, 3),
           no_op_loops_s=round(no_op_loops(size), 4),
           **{peer.PEER: on_stim("cluster_wire", size, size)})


def no_op_loops(size):
    """The cluster wire's three loops, call for call and in the same shape, with a no-op method
    in place of each korvane method: what the same 3N calls cost when the call does nothing."""
    floor = korvane_call_floor.CallFloor()
    start = time.perf_counter()
    for q in range(size):
        floor.noop(q)
    for q in range(size - 1):
        floor.noop(q, q + 1)
    flip_x, flip_z = 0, 0
    for q in range(size - 1):
        outcome = int(floor.noop(q) is None)
        flip_x, flip_z = flip_z ^ outcome, flip_x
    return time.perf_counter() - start


def cluster_2d(size):
    """A side x side grid: h everywhere, cz along every edge, then Z on every qubit in row order.
    Check: a measured qubit stands alone in its entangled group."""
    side = int(math.isqrt(size))
    qubits = side * side
    start = time.perf_counter()
    sim = korvane.Korvane(qubits)
    for q in range(qubits):
        sim.h(q)
    for row in range(side):
        for col in range(side):
            q = row * side + col
            if col + 1 < side:
                sim.cz(q, q + 1)
            if row + 1 < side:
                sim.cz(q, q + side)
    built = time.perf_counter()
    for q in range(qubits):
        sim.measure_z(q)
    done = time.perf_counter()
    probe = random.Random(size).randrange(qubits)
    if sim.get_entangled_group(probe) != {probe}:
        raise AssertionError("2D cluster: a Z-measured qubit keeps neighbours")
    operations = qubits + 2 * side * (side - 1) + qubits
    record("cluster_2d", qubits, done - start, operations,
           build_s=round(built - start, 3), measure_s=round(done - built, 3),
           **{peer.PEER: on_stim("cluster_2d", size, qubits)})


def random_circuit(size, steps, seed=5):
    """A cluster ring, then steps at random places a: random gates on a and a+1, cz or cx, a Z
    measurement of a, and a re-joins the ring (h, cz to a-1 and a+1). The degree stays bounded.
    Check: a Z measurement repeated at once gives the same result."""
    rng = random.Random(seed)
    sim = korvane.Korvane(size)
    for q in range(size):
        sim.h(q)
    for q in range(size):
        sim.cz(q, (q + 1) % size)
    singles = [sim.x, sim.y, sim.z, sim.h, sim.s, sim.sdag]
    plan = []
    for _ in range(steps):
        a = rng.randrange(size)
        plan.append((a, (a + 1) % size, (a - 1) % size, rng.choice(singles), rng.choice(singles),
                     rng.choice((sim.cz, sim.cx))))
    measure_z, h, cz = sim.measure_z, sim.h, sim.cz
    start = time.perf_counter()
    for a, b, p, g1, g2, gate in plan:
        g1(a)
        g2(b)
        gate(a, b)
        measure_z(a)
        h(a)
        cz(p, a)
        cz(a, b)
    seconds = time.perf_counter() - start
    q = plan[-1][1]
    if sim.measure_z(q) != sim.measure_z(q):
        raise AssertionError("random circuit: a repeated Z measurement changed its result")
    group = len(sim.get_entangled_group(plan[-1][0]))
    record("random_circuit", size, seconds, 7 * steps, last_group_size=group,
           **{peer.PEER: on_stim("random_circuit", size, size, steps=steps)})


def ghz(size):
    """GHZ of `size` qubits from a cluster chain of 2*size-1 measured in X on the odd qubits
    (from the far end), with the Pauli frame undone. Check: all Z outcomes agree."""
    length = 2 * size - 1
    start = time.perf_counter()
    sim = korvane.Korvane(length)
    for q in range(length):
        sim.h(q)
    for q in range(length - 1):
        sim.cz(q, q + 1)
    outcomes = {q: int(sim.measure_x(q)) for q in range(length - 2, 0, -2)}
    parity = 0
    for q in range(2, length, 2):
        parity ^= outcomes[q - 1]
        if parity:
            sim.x(q)
    built = time.perf_counter()
    first = sim.measure_z(0)
    for q in range(2, length, 2):
        if sim.measure_z(q) != first:
            raise AssertionError(f"GHZ of {size}: Z outcomes disagree")
    done = time.perf_counter()
    operations = 2 * length - 1 + (length - 1) // 2 + size
    record("ghz", size, done - start, operations,
           build_s=round(built - start, 3), measure_s=round(done - built, 3),
           **{peer.PEER: on_stim("ghz", size, length)})


def wire_register(size):
    """A cluster wire of `size` qubits."""
    sim = korvane.Korvane(size)
    for q in range(size):
        sim.h(q)
    for q in range(size - 1):
        sim.cz(q, q + 1)
    return sim


def best_ns(call):
    """Best ns per call of `call()` over five batches of at least 20 ms each."""
    batch = 1
    while True:
        start = time.perf_counter()
        for _ in range(batch):
            call()
        if time.perf_counter() - start > 0.02 or batch >= 1 << 22:
            break
        batch *= 4
    best = float("inf")
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(batch):
            call()
        best = min(best, (time.perf_counter() - start) / batch * 1e9)
    return best


def per_call(call, floor):
    """ns per call of `call()` and of the no-op floor, both called through a lambda alike."""
    return best_ns(call), best_ns(lambda: floor(5))


def peeks(sizes, subset_sizes, floor):
    """peek_measure_set of k qubits of a cluster wire of N, beside a no-op call: only what the
    trial measurements touch is copied, so the cost follows k and not N. Check: the register is
    untouched (the wire is still one group, a lone qubit's certain outcome is unchanged)."""
    for size in sizes:
        sim = wire_register(size)
        for k in subset_sizes:
            if k > size:
                continue
            chosen = set(range(0, 2 * k, 2)) if 2 * k <= size else set(range(k))
            ns, floor_ns = per_call(lambda: sim.peek_measure_set(chosen), floor)
            if len(sim.peek_measure_set(chosen)) != k or len(sim.get_entangled_group(0)) != size:
                raise AssertionError("peek_measure_set changed the register or lost qubits")
            record("peek_measure_set", size, ns / 1e9, 1, k=k, floor_ns=round(floor_ns, 1),
                   ratio_to_floor=round(ns / floor_ns, 1))
        del sim


def groups(floor):
    """get_entangled_group on a lone qubit and on cluster wires of 10, 10^3 and 10^6 qubits, side
    by side in one register, beside a no-op call. Check: each answer is exactly its wire."""
    lengths = [1, 10, 10**3, 10**6]
    sim = korvane.Korvane(sum(lengths))
    start = 0
    for length in lengths:
        for q in range(start, start + length):
            sim.h(q)
        for q in range(start, start + length - 1):
            sim.cz(q, q + 1)
        middle = start + length // 2
        if sim.get_entangled_group(middle) != set(range(start, start + length)):
            raise AssertionError(f"the group of a wire of {length} is wrong")
        ns, floor_ns = per_call(lambda: sim.get_entangled_group(middle), floor)
        record("get_entangled_group", length, ns / 1e9, 1, floor_ns=round(floor_ns, 1),
               ratio_to_floor=round(ns / floor_ns, 1))
        start += length


MEMORY_PROBE = r"""
import sys, time, korvane
def rss():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
size = int(sys.argv[1])
before = rss()
start = time.perf_counter()
sim = korvane.Korvane(size)
constructed = time.perf_counter() - start
fresh = rss()
for q in range(size):
    sim.h(q)
for q in range(size - 1):
    sim.cz(q, q + 1)
wired = rss()
print(before, fresh, wired, constructed)
"""


def memory(size):
    """Resident size of a fresh register and of a cluster wire (N-1 edges), in a fresh process."""
    out = subprocess.run([sys.executable, "-c", MEMORY_PROBE, str(size)], check=True,
                         capture_output=True, text=True).stdout.split()
    before, fresh, wired = (int(x) for x in out[:3])
    constructed = float(out[3])
    per_qubit = (fresh - before) / size
    per_edge = (wired - fresh) / (size - 1)
    record("construct", size, constructed, 1, bytes_per_qubit=round(per_qubit, 2),
           bytes_per_edge=round(per_edge, 2))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="smaller sizes, for a smoke run")
    parser.add_argument("--json", help="write the figures to this file")
    args = parser.parse_args()
    top = 5 if args.quick else 7
    sizes = [10**e for e in range(3, top + 1)]
    print("Memory and construction")
    memory(10**top)
    print("Cluster wire")
    for size in sizes:
        cluster_wire(size)
    print("2D cluster")
    for size in sizes[:-1]:
        cluster_2d(size)
    print("Random sparse circuit")
    for size in sizes:
        random_circuit(size, 20_000 if args.quick else 100_000)
    print("GHZ from a measured cluster chain")
    for size in [10**3, 10**4] if args.quick else [10**3, 10**4, 10**5, 10**6]:
        ghz(size)
    floor = korvane_call_floor.CallFloor().noop
    print("Trial measurement of a set (ns per call)")
    peeks([10**3, 10**5] if args.quick else [10**3, 10**6, 10**7], [1, 10, 10**3, 10**5], floor)
    print("Entangled group (ns per call)")
    groups(floor)
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
