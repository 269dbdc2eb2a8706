#!/usr/bin/env bash
# Compiles every source of the module as for a free-threaded CPython 3.14, compile only: no
# free-threaded interpreter or pyconfig.h can be had on these machines (Debian ships no 3.14t), so
# the default build's headers are used with Py_GIL_DISABLED defined on the command line, which
# takes the headers' free-threaded paths (per-thread reference counts, atomic borrows) and the
# module's own. Nothing is linked, loaded or run. The objects must then call what only the
# free-threaded paths call, which shows that the macro reached them.
# Usage: tools/ci/free-threaded.sh PYTHON (from the repo root; PYTHON finds the C API headers).
set -euo pipefail

python=${1:?usage: tools/ci/free-threaded.sh PYTHON}
case $python in /*) ;; */*) python="$PWD/$python" ;; esac
repo=$(pwd)
build_dir=${KORVANE_FREE_THREADED_BUILD_DIR:-$repo/build/free-threaded}
jobs=$(nproc 2>/dev/null || echo 2)
log() { echo "== free-threaded: $*" >&2; }

log "compiling src/python with -DPy_GIL_DISABLED=1 in $build_dir"
cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF \
  -DKORVANE_INSTALL_ENGINE=OFF -DPython_EXECUTABLE="$python" \
  -DCMAKE_CXX_FLAGS="-DPy_GIL_DISABLED=1" >/dev/null
objects=()
for source in src/python/*.cpp; do
  objects+=("CMakeFiles/korvane.dir/$source.o")
done
# The module's objects alone: the engine has no Python in it.
cmake --build "$build_dir" -j "$jobs" --target "${objects[@]}"

undefined=$(cd "$build_dir" && nm -u "${objects[@]}")
for symbol in PyUnstable_Module_SetGIL _Py_DecRefShared; do
  grep -qw "$symbol" <<<"$undefined" || {
    log "no object calls $symbol: the free-threaded paths were not compiled"
    exit 1
  }
done
log "${#objects[@]} sources compiled free-threaded (not linked, loaded or run)"
