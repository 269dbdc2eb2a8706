#!/usr/bin/env bash
# clang-tidy (configuration: .clang-tidy) and cppcheck (suppressions:
# tools/ci/cppcheck-suppressions.txt) over src/. Any warning fails the run.
# Usage: tools/ci/static-analysis.sh PYTHON (from the repo root; PYTHON finds the C API headers).
set -euo pipefail

python=${1:?usage: tools/ci/static-analysis.sh PYTHON}
case $python in /*) ;; */*) python="$PWD/$python" ;; esac
repo=$(pwd)
build_dir=${KORVANE_ANALYSIS_BUILD_DIR:-$repo/build/analysis}
jobs=$(nproc 2>/dev/null || echo 2)
log() { echo "== static analysis: $*" >&2; }

"$repo/tools/debian-packages.sh" clang-tidy cppcheck

# Configuring is enough: it writes compile_commands.json with the module's include paths.
cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF \
  -DKORVANE_INSTALL_ENGINE=OFF -DPython_EXECUTABLE="$python" >/dev/null

sources=$(find src -name '*.cpp' | sort)

log "clang-tidy"
# clang 14 cannot tell the interpreter's atomics header that it has the GCC builtins.
printf '%s\n' $sources | xargs -P "$jobs" -n 2 clang-tidy -p "$build_dir" --quiet \
  --extra-arg=-D_Py_USE_GCC_BUILTIN_ATOMICS=1

log "cppcheck"
python_include=$("$python" -c 'import sysconfig; print(sysconfig.get_path("include"))')
cppcheck --std=c++20 --language=c++ --enable=warning,style,performance,portability \
  --inline-suppr --error-exitcode=1 --quiet -j "$jobs" \
  --suppressions-list="$repo/tools/ci/cppcheck-suppressions.txt" \
  -I "$repo/src" -I "$python_include" --config-exclude="$python_include" \
  $sources
