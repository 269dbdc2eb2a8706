#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each from its seed corpus: the engine fuzzer (tests/fuzz/corpus) for about a minute, the circuit
# text fuzzer (tests/fuzz/circuit_corpus) for half that. Any finding (a crash, a sanitizer report,
# a broken invariant, a state that differs from the reference, a canonical text that reads back
# differently) fails the run, and the input that caused it is left in the build directory.
# Usage: tools/ci/fuzz.sh [PYTHON] (the argument is unused; from the repo root).
# KORVANE_FUZZ_SECONDS changes the running time.
set -euo pipefail

repo=$(pwd)
build_dir=${KORVANE_FUZZ_BUILD_DIR:-$repo/build/fuzz}
seconds=${KORVANE_FUZZ_SECONDS:-60}
jobs=$(nproc 2>/dev/null || echo 2)
log() { echo "== fuzz: $*" >&2; }

"$repo/tools/debian-packages.sh" clang
# libFuzzer and the sanitizer runtimes of that clang (libclang-rt-14-dev on Debian 12).
"$repo/tools/debian-packages.sh" "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"

log "building the fuzzer in $build_dir"
CXX=clang++ cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVANE_BUILD_FUZZ=ON -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_MODULE=OFF \
  -DKORVANE_INSTALL_ENGINE=OFF -DKORVANE_SANITIZE=address,undefined >/dev/null
cmake --build "$build_dir" -j "$jobs" --target korvane_engine_fuzzer korvane_circuit_fuzzer

# fuzz NAME SEEDS SECONDS MAX_LEN: each run grows a working copy; the checked-in seeds stay as
# they are.
fuzz() {
  local corpus="$build_dir/$2"
  mkdir -p "$corpus" "$build_dir/findings"
  cp "$repo/tests/fuzz/$2"/* "$corpus"/
  log "running $1 for $3s"
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build_dir/tests/fuzz/$1" -max_total_time="$3" -max_len="$4" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build_dir/findings/" "$corpus"
}

fuzz korvane_engine_fuzzer corpus "$seconds" 512
fuzz korvane_circuit_fuzzer circuit_corpus "$((seconds / 2))" 2048
