#!/usr/bin/env bash
# One entry point for a fresh machine and for daily work:
#   tools/run.sh setup   install what the build needs, provision CPython >= 3.14 and the venv with
#                        every extra's packages, build the engine, its tests and the module
#   tools/run.sh demo    provision CPython >= 3.14, install the module, then run examples/demo.py
#   tools/run.sh test    setup, then run every test: C++ (ctest) and Python (pytest)
#   tools/run.sh check   setup, then the slower checks CI adds: static analysis, the free-threaded
#                        compile, sanitizer builds, fuzzing, type stubs (each a script in tools/ci/)
#   tools/run.sh bench   setup, then run the benchmarks
#   tools/run.sh lock    pin the newest versions of every Python package in
#                        tools/python-constraints.txt
# C++ tools come from Debian (tools/debian-packages.sh), Python packages from the package index at
# the versions tools/python-constraints.txt pins. Everything else it installs lives in a cache
# outside the clone or in git-ignored folders (.venv, build).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build_dir="$repo/build/cmake"
venv="$repo/.venv"
jobs=$(nproc 2>/dev/null || echo 2)

log() { echo "== $*" >&2; }

# What the module's build needs from Debian, and what the engine's tests and benchmarks add;
# tools/ci/ adds what each check needs.
module_packages=(g++ cmake ninja-build patchelf)
engine_packages=(libgtest-dev libbenchmark-dev)
# Headless Chromium renders the SVG pictures in the tests; DejaVu is the font they name.
picture_packages=(chromium fonts-dejavu-core)
constraints="$repo/tools/python-constraints.txt"

ensure_host_tools() {
  "$repo/tools/debian-packages.sh" "${module_packages[@]}" "$@"
}

ensure_venv() {
  "$repo/tools/provision-python.sh" "$venv" >/dev/null
}

# The build backend, numpy and the packages of the extras named ("all": every extra), at the
# versions the constraints pin; skipped while the venv has what these files asked for last time.
install_packages() {
  local stamp="$venv/.korvane-requirements" wanted
  wanted=$({ cat "$repo/pyproject.toml" "$constraints"; echo "$*"; } | sha256sum)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then return; fi
  log "installing Python packages from the package index into $venv (extras: ${*:-none})"
  "$venv/bin/python" "$repo/tools/requirements.py" "$@" >"$venv/requirements.txt"
  "$venv/bin/python" -m pip install --quiet --disable-pip-version-check -c "$constraints" \
    -r "$venv/requirements.txt"
  echo "$wanted" >"$stamp"
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

# pip install . with the build's progress shown (its whole output kept in build/pip-install.log).
install_module() {
  log "pip install . into $venv: building the C++ extension (about a minute when its sources" \
    "changed, seconds otherwise)"
  local output="$repo/build/pip-install.log"
  mkdir -p "$repo/build"
  if ! "$venv/bin/python" -m pip install -v --no-build-isolation --no-deps \
    --disable-pip-version-check "$repo" 2>&1 | tee "$output" |
    { grep --line-buffered -E '^ *\*\*\* |^ *\[[0-9]+/[0-9]+\] ' || true; } >&2; then
    tail -n 80 "$output" >&2
    log "pip install . failed; its whole output is in $output"
    exit 1
  fi
}

setup() {
  ensure_host_tools "${engine_packages[@]}" "${picture_packages[@]}"
  ensure_venv
  install_packages all
  build_engine
  install_module
}

command=${1:-}
case "$command" in
  setup)
    setup
    ;;
  demo)
    # The demo needs the module and numpy alone.
    ensure_host_tools
    ensure_venv
    install_packages
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
    for stage in static-analysis free-threaded sanitize fuzz typing; do
      script="$repo/tools/ci/$stage.sh"
      if [ -f "$script" ]; then
        log "check: $stage"
        bash "$script" "$venv/bin/python"
      fi
    done
    ;;
  bench)
    KORVANE_BUILD_BENCH=ON setup
    "$repo/bench/run.sh" "$build_dir" "$venv/bin/python"
    ;;
  lock)
    ensure_venv
    "$venv/bin/python" "$repo/tools/requirements.py" --lock "$constraints"
    ;;
  *)
    echo "usage: tools/run.sh setup|demo|test|check|bench|lock" >&2
    exit 2
    ;;
esac
