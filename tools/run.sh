#!/usr/bin/env bash
# One entry point for a fresh machine and for daily work:
#   tools/run.sh setup   provision CPython >= 3.14, build the engine, its tests and the module
#   tools/run.sh demo    provision CPython >= 3.14, install the module, then run examples/demo.py
#   tools/run.sh test    setup, then run every test: C++ (ctest) and Python (pytest)
#   tools/run.sh check   setup, then the slower checks CI adds: static analysis, sanitizer builds,
#                        fuzzing, type stubs (each a script under tools/ci/)
#   tools/run.sh bench   setup, then run the benchmarks
# Everything it installs lives in a cache outside the clone or in git-ignored folders (.venv, build).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build_dir="$repo/build/cmake"
venv="$repo/.venv"
jobs=$(nproc 2>/dev/null || echo 2)

log() { echo "== $*" >&2; }

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# The host tools the build needs; a machine of this kind has them, a bare Debian 12 gets them.
ensure_host_tools() {
  local missing=()
  command -v g++ >/dev/null || missing+=(g++)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  [ -e /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  [ -e /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
  command -v patchelf >/dev/null || missing+=(patchelf)
  # Headless Chromium renders the SVG pictures in the tests; DejaVu is the font they name.
  command -v chromium >/dev/null || missing+=(chromium)
  [ -e /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || missing+=(fonts-dejavu-core)
  if [ "${#missing[@]}" -gt 0 ]; then
    log "installing host packages: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  fi
}

ensure_venv() {
  local python
  python=$("$repo/tools/provision-python.sh" "$@")
  if [ ! -x "$venv/bin/python" ] || [ "$(readlink -f "$venv/bin/python")" != "$(readlink -f "$python")" ]; then
    log "creating the virtual environment with $python"
    rm -rf "$venv"
    "$python" -m venv --without-pip --system-site-packages "$venv"
  fi
}

build_engine() {
  log "building the engine and its tests"
  local bench=${KORVANE_BUILD_BENCH:-OFF}
  # This build has the module only for the benchmarks; pip install builds the one the tests use.
  local options=(-DKORVANE_BUILD_BENCH="$bench" -DKORVANE_BUILD_MODULE="$bench")
  if [ "$bench" = ON ]; then options+=(-DPython_EXECUTABLE="$venv/bin/python"); fi
  cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
  cmake --build "$build_dir" -j "$jobs"
}

install_module() {
  log "installing the korvane module into $venv (pip install .)"
  "$venv/bin/python" -m pip install --quiet --no-build-isolation --no-deps --no-index \
    --disable-pip-version-check "$repo"
}

setup() {
  ensure_host_tools
  ensure_venv "$@"
  build_engine
  install_module
}

command=${1:-}
case "$command" in
  setup)
    setup
    ;;
  demo)
    # The demo needs the module alone, which pip install builds.
    ensure_host_tools
    ensure_venv
    install_module
    log "running examples/demo.py"
    "$venv/bin/python" "$repo/examples/demo.py"
    ;;
  test)
    setup
    log "C++ tests"
    ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
    log "Python tests"
    (cd "$repo" && "$venv/bin/python" -m pytest -q tests/python)
    ;;
  check)
    setup
    for stage in static-analysis sanitize fuzz typing; do
      script="$repo/tools/ci/$stage.sh"
      if [ -f "$script" ]; then
        log "check: $stage"
        bash "$script" "$venv/bin/python"
      fi
    done
    ;;
  bench)
    KORVANE_BUILD_BENCH=ON setup python3-matplotlib
    "$repo/bench/run.sh" "$build_dir" "$venv/bin/python"
    ;;
  *)
    echo "usage: tools/run.sh setup|demo|test|check|bench" >&2
    exit 2
    ;;
esac
