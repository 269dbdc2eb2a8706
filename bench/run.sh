#!/usr/bin/env bash
# Runs the benchmarks and writes bench/REPORT.md and bench/scaling.png from the figures:
# engine (Google Benchmark), Python call costs, Python workloads and memory, the entangled
# workloads from Python beside the stabilizer tableau on the same circuits, whole states in and
# out (copy, pickle, graph, from_graph, stabilizers), whole circuits and their shots, dense random
# circuits against the tableau, and shots on
# Dask; stim (the `bench` extra) does the same work beside korvane wherever it can (peer.py).
# Usage: bench/run.sh BUILD_DIR PYTHON [--quick]  (tools/run.sh bench supplies the first two)
set -euo pipefail
build_dir=$1
python=$2
quick=${3:-}
bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The run's figures stay beside the build, so that the report can be written again from them:
# python bench/make_report.py BUILD_DIR/bench-figures bench
figures="$build_dir/bench-figures"
rm -rf "$figures"
mkdir -p "$figures"

export MPLBACKEND=Agg

min_time=0.2
workload_options=()
call_options=()
tableau_options=()
if [ "$quick" = "--quick" ]; then
  min_time=0.02
  workload_options=(--quick)
  call_options=(--repeats 2 --seconds 0.01 --sizes 10 10000)
  tableau_options=(--quick)
fi

echo "== Engine"
"$build_dir/bench/korvane_engine_bench" --benchmark_min_time="$min_time" \
  --benchmark_out="$figures/engine.json" --benchmark_out_format=json
echo "== Python call costs"
PYTHONPATH="$build_dir:$build_dir/bench" "$python" "$bench_dir/bench_calls.py" \
  "${call_options[@]}" --json "$figures/calls.json"
echo "== Python workloads"
PYTHONPATH="$build_dir:$build_dir/bench" "$python" "$bench_dir/bench_workloads.py" \
  "${workload_options[@]}" --json "$figures/workloads.json"
echo "== Stabilizer tableau on the entangled workloads (and their circuits)"
"$build_dir/bench/korvane_tableau_bench" "${tableau_options[@]}" --circuits "$figures" \
  | tee "$figures/tableau.jsonl"
echo "== Entangled workloads from Python"
PYTHONPATH="$build_dir" "$python" "$bench_dir/bench_entangled.py" "$figures/tableau.jsonl" \
  --json "$figures/entangled.json"
echo "== Whole states in and out"
PYTHONPATH="$build_dir" "$python" "$bench_dir/bench_state_io.py" "${workload_options[@]}" \
  --json "$figures/state_io.json"
echo "== Whole circuits from Python"
PYTHONPATH="$build_dir" "$python" "$bench_dir/bench_circuits.py" "$figures/tableau.jsonl" \
  "${workload_options[@]}" --json "$figures/circuits.json"
echo "== Dense random circuits against the tableau"
PYTHONPATH="$build_dir" "$python" "$bench_dir/bench_dense.py" "${workload_options[@]}" \
  --json "$figures/dense.json"
echo "== Many shots (Dask LocalCluster)"
PYTHONPATH="$build_dir" "$python" "$bench_dir/bench_shots.py" "${workload_options[@]}" \
  --json "$figures/shots.json"
echo "== Error-correction experiments"
PYTHONPATH="$build_dir" "$python" "$bench_dir/bench_qec.py" "${workload_options[@]}" \
  --json "$figures/qec.json"
echo "== Report"
"$python" "$bench_dir/make_report.py" "$figures" "${REPORT_DIR:-$bench_dir}"
