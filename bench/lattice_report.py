"""The report's part on lattice cluster states (bench_lattice.py): the memory targets and a
section with bytes a qubit by shape and way of building, and the 10^9-qubit headline, which is
run on its own (`bench_lattice.py --headline --json bench/lattice_headline.json`) and kept
beside the report, as is the speed of the change of storage against the build before it
(`compare_builds.py ... --json bench/lattice_comparison.json`)."""

SHAPE_NAMES = {1: "wire", 2: "2D cluster", 3: "3D cluster"}
METHOD_NAMES = {"cluster": "Korvane.cluster", "chunks": "from_graph, chunks",
                "calls": "h and cz calls"}
TARGETS = [(1, 17.1), (2, 20.0), (3, 40.0)]


def _verdict(met):
    return "**met**" if met else "**MISSED**"


def lattice_targets(rows, headline):
    """Target lines: bytes a qubit of each shape as Korvane.cluster builds it, the headline."""
    lines = []
    built = {len(row["shape"]): row for row in rows if row["method"] == "cluster"}
    for dimensions, limit in TARGETS:
        row = built.get(dimensions)
        if row is None:
            continue
        others = [r["bytes_per_qubit"] for r in rows
                  if len(r["shape"]) == dimensions and r["method"] != "cluster"]
        name = SHAPE_NAMES[dimensions]
        lines.append(f"- {name[0].upper() + name[1:]} of {row['N']:,} qubits at most {limit:g} bytes "
                     f"a qubit: {row['bytes_per_qubit']:.2f} (built from chunks or by calls: "
                     f"{', '.join(f'{value:.2f}' for value in others)}): "
                     f"{_verdict(row['bytes_per_qubit'] <= limit)}")
    for row in headline:
        lines.append(f"- A 10^9-qubit 2D cluster on this machine ({row['shape'][0]:,} x "
                     f"{row['shape'][1]:,} = {row['N']:,} qubits), 10^3 qubits measured in random "
                     f"bases and peek_measure_set of 10: built in {row['build_s']:.1f} s, "
                     f"measured in {row['measure_1000_s']:.3f} s, peek {row['peek_10_s'] * 1e6:.0f} "
                     f"us, {row['bytes_per_qubit']:.2f} bytes a qubit, peak resident "
                     f"{row['peak_gb']:.1f} GB: {_verdict(row['N'] >= 10**9)}")
    return lines


def comparison_lines(comparison):
    """The before/after table of compare_builds.py."""
    lines = ["", f"Speed against the build before bounded-degree sets in place and pooled short "
             f"arrays ({comparison['before']}), measured by `bench/compare_builds.py`: each "
             f"workload on both builds in alternation, a fresh process each, the process's CPU "
             f"time, best of {comparison['rounds']} rounds (the long local run once). The "
             f"machine was shared: ratios within about 10% are noise.", "",
             "| figure | before | after | after / before |", "|---|---:|---:|---:|"]
    for row in comparison["rows"]:
        lines.append(f"| {row['figure']} | {row['before']:.4g} | {row['after']:.4g} | "
                     f"{row['after'] / row['before']:.3f} |")
    if "note" in comparison:
        lines += ["", comparison["note"] + "."]
    return lines


def lattice_section(rows, headline, comparison=None):
    """The section's lines: one row per build, the headline, then the speed comparison."""
    lines = ["Each build in a fresh process; bytes a qubit is the growth of the resident size with "
             "the memory Python and malloc freed handed back. `Korvane.cluster` writes each "
             "qubit's neighbours once; `from_graph` takes the lattice's edges from a generator of "
             "chunks of 2^20 sites; the calls are h on every qubit, then cz along every edge.", "",
             "| state | shape | qubits | edges | built by | seconds | bytes a qubit | "
             "peak resident GB |",
             "|---|---|---:|---:|---|---:|---:|---:|"]
    for row in rows:
        shape = " x ".join(str(side) for side in row["shape"])
        lines.append(f"| {SHAPE_NAMES.get(len(row['shape']), 'lattice')} | {shape} | "
                     f"{row['N']:,} | {row['edges']:,} | {METHOD_NAMES[row['method']]} | "
                     f"{row['build_s']:.3f} | {row['bytes_per_qubit']:.2f} | {row['peak_gb']:.2f} |")
    for row in headline:
        lines += ["", f"The headline, run once on its own: a {row['shape'][0]:,} x "
                  f"{row['shape'][1]:,} cluster ({row['N']:,} qubits, {row['edges']:,} edges) "
                  f"built by `Korvane.cluster` in {row['build_s']:.1f} s at "
                  f"{row['bytes_per_qubit']:.2f} bytes a qubit; 1000 random qubits measured in "
                  f"random bases (X, Y or Z each) in {row['measure_1000_s']:.3f} s "
                  f"({row['minus_one_outcomes']} outcomes -1); `peek_measure_set` of 10 other "
                  f"qubits in {row['peek_10_s'] * 1e6:.0f} us; peak resident memory of the "
                  f"process {row['peak_gb']:.2f} GB."]
    if comparison:
        lines += comparison_lines(comparison)
    return lines
