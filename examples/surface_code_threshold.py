"""The threshold of the rotated surface code under circuit-level depolarizing noise.

For each distance and physical error rate p, korvane generates the rotated surface-code memory
experiment (d rounds, every noise strength p), writes its detector error model with graphlike
parts, samples detection events by Pauli frames, and PyMatching decodes them; the logical error
rate per round comes with a 1-sigma binomial error bar. Below threshold a larger code does
better, above it worse: the curves cross near p = 0.7-1%. The plot is saved as a PNG.

Needs the optional extras decode and plot (`tools/run.sh setup` installs every extra). Run from
the clone with the project's virtual environment (README.md, "Installing"):
    .venv/bin/python examples/surface_code_threshold.py --out examples/threshold.png
"""

import argparse
import math
import os
import tempfile
import time
from dataclasses import dataclass
from typing import Any

import numpy as np

import korvane

DISTANCES = [3, 5, 7]
RATES = [0.001, 0.002, 0.003, 0.004, 0.005, 0.006, 0.007, 0.008, 0.01, 0.012, 0.015, 0.02]


@dataclass
class Point:
    distance: int
    rate: float
    shots: int
    errors: int
    seconds: float

    @property
    def per_shot(self) -> float:
        return self.errors / self.shots

    @property
    def per_round(self) -> float:
        """The rate per round that, compounded over `distance` rounds, gives the rate per shot."""
        return per_round(self.per_shot, self.distance)

    @property
    def error_bar(self) -> float:
        """1 sigma of the binomial count, carried to the rate per round."""
        sigma = math.sqrt(max(self.errors, 1) * (1 - self.per_shot)) / self.shots
        high = per_round(min(self.per_shot + sigma, 0.5), self.distance)
        return high - self.per_round


def per_round(per_shot: float, rounds: int) -> float:
    return (1 - math.pow(1 - 2 * min(per_shot, 0.5), 1 / rounds)) / 2


def matching_for(circuit: korvane.Circuit) -> Any:
    import pymatching  # type: ignore[import-not-found, import-untyped, unused-ignore]

    model = circuit.detector_error_model(decompose_errors=True)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "model.dem")
        with open(path, "w") as file:
            file.write(str(model))
        return pymatching.Matching.from_detector_error_model_file(path)


def measure(distance: int, rate: float, max_shots: int, target_errors: int, seed: int) -> Point:
    circuit = korvane.Circuit.generated(
        "surface_code:rotated_memory_z", distance=distance, rounds=distance,
        after_clifford_depolarization=rate, before_round_data_depolarization=rate,
        before_measure_flip_probability=rate, after_reset_flip_probability=rate)
    start = time.perf_counter()
    matching = matching_for(circuit)
    shots = errors = 0
    batch = 10_000
    while shots < max_shots and errors < target_errors:
        count = min(batch, max_shots - shots)
        detectors, observables = circuit.sample_detectors(count, seed=seed + shots)
        predicted = matching.decode_batch(detectors)
        errors += int(np.count_nonzero(predicted[:, 0] != observables[:, 0]))
        shots += count
    return Point(distance, rate, shots, errors, time.perf_counter() - start)


def crossing(low: list[Point], high: list[Point], per_shot: bool = False) -> float | None:
    """Where the larger code's curve crosses the smaller one's (log-log interpolation), in the
    rate per round or per shot."""
    def rate(point: Point) -> float:
        return point.per_shot if per_shot else point.per_round

    for (a0, b0), (a1, b1) in zip(zip(low, high), zip(low[1:], high[1:])):
        if a0.errors == 0 or b0.errors == 0:
            continue
        before = math.log(rate(b0)) - math.log(rate(a0))
        after = math.log(rate(b1)) - math.log(rate(a1))
        if before < 0 <= after:
            t = before / (before - after)
            return math.exp(math.log(a0.rate) + t * (math.log(a1.rate) - math.log(a0.rate)))
    return None


def plot(points: list[Point], crossings: list[float], path: str) -> None:
    import matplotlib  # type: ignore[import-not-found, unused-ignore]

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # type: ignore[import-not-found, unused-ignore]

    figure, axes = plt.subplots(figsize=(7, 5))
    for distance in sorted({p.distance for p in points}):
        mine = [p for p in points if p.distance == distance and p.errors > 0]
        axes.errorbar([p.rate for p in mine], [p.per_round for p in mine],
                      yerr=[p.error_bar for p in mine], marker="o", capsize=3,
                      label=f"d = {distance}")
    for value in crossings:
        axes.axvline(value, color="grey", linestyle=":", linewidth=1)
    axes.plot([min(p.rate for p in points), max(p.rate for p in points)],
              [min(p.rate for p in points), max(p.rate for p in points)], color="lightgrey",
              linestyle="--", label="logical = physical")
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("physical error rate p (every noise strength)")
    axes.set_ylabel("logical error rate per round")
    axes.set_title("Rotated surface code memory (Z), d rounds: korvane + PyMatching")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=120)


def main() -> None:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("--distances", type=int, nargs="+", default=DISTANCES)
    parser.add_argument("--rates", type=float, nargs="+", default=RATES)
    parser.add_argument("--max-shots", type=int, default=1_000_000)
    parser.add_argument("--target-errors", type=int, default=500)
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--out", default="threshold.png", help="the plot's PNG file")
    parser.add_argument("--no-plot", action="store_true")
    arguments = parser.parse_args()

    points = []
    print(f"{'d':>3} {'p':>7} {'shots':>9} {'errors':>7} {'per round':>11} {'+-':>9} {'s':>6}")
    for distance in arguments.distances:
        for rate in sorted(arguments.rates):
            point = measure(distance, rate, arguments.max_shots, arguments.target_errors,
                            arguments.seed)
            points.append(point)
            print(f"{distance:>3} {rate:>7.4f} {point.shots:>9} {point.errors:>7} "
                  f"{point.per_round:>11.3e} {point.error_bar:>9.1e} {point.seconds:>6.1f}")
    by_distance = {d: [p for p in points if p.distance == d] for d in arguments.distances}
    crossings = []
    for small, large in zip(arguments.distances, arguments.distances[1:]):
        value = crossing(by_distance[small], by_distance[large])
        shot_value = crossing(by_distance[small], by_distance[large], per_shot=True)
        print(f"d = {small} and d = {large} cross at p = " + " and ".join(
            f"{100 * v:.2f}% {what}" if v is not None else f"(no crossing {what})"
            for v, what in [(value, "per round"), (shot_value, "per shot")]))
        if value is not None:
            crossings.append(value)
    if not arguments.no_plot:
        plot(points, crossings, arguments.out)
        print(f"plot saved to {arguments.out}")

    # Below threshold the larger code is better, above it worse, by more than the error bars.
    lowest, highest = min(arguments.rates), max(arguments.rates)
    small, large = arguments.distances[0], arguments.distances[-1]
    at = {(p.distance, p.rate): p for p in points}
    gap_low = at[small, lowest].per_round - at[large, lowest].per_round
    gap_high = at[large, highest].per_round - at[small, highest].per_round
    assert gap_low > at[small, lowest].error_bar + at[large, lowest].error_bar, "no gain below"
    assert gap_high > at[small, highest].error_bar + at[large, highest].error_bar, "no loss above"
    assert crossings and all(0.003 <= value <= 0.02 for value in crossings), crossings
    print("all checks passed")


if __name__ == "__main__":
    main()
