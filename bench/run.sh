#!/usr/bin/env bash
# Runs the benchmarks: engine (Google Benchmark), then Python call costs and workloads.
# Usage: bench/run.sh BUILD_DIR PYTHON  (tools/run.sh bench supplies both)
set -euo pipefail
build_dir=$1
python=$2
bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

echo "== Engine"
"$build_dir/bench/korvane_engine_bench" --benchmark_min_time=0.2
echo "== Python call costs"
PYTHONPATH="$build_dir/bench" "$python" "$bench_dir/bench_calls.py"
echo "== Python workloads"
"$python" "$bench_dir/bench_workloads.py"
