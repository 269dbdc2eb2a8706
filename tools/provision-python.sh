#!/usr/bin/env bash
# Makes a CPython >= 3.14 available and prints the path of its interpreter on stdout.
#
# A CPython >= 3.14 already on the machine is used as it is. Otherwise a private 3.14 (with
# pytest, numpy, hypothesis, dask.distributed, networkx, pip and scikit-build-core) is unpacked
# from Debian testing's binary packages into a cache folder outside the clone, using a private apt
# configuration so that the system's own apt state is never touched. The archive is read from the
# machine's own apt sources. The script is idempotent: a complete cache is reused as it is.
set -euo pipefail

log() { echo "provision-python: $*" >&2; }

python_is_recent() {
  "$1" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 14) else 1)' 2>/dev/null
}

# Extra Debian packages can be asked for (for example python3-matplotlib for the benchmarks).
extra_packages=("$@")

if [ "${#extra_packages[@]}" -eq 0 ] && [ -z "${KORVANE_PRIVATE_PYTHON:-}" ]; then
  for candidate in python3.14 python3.15 python3; do
    if path=$(command -v "$candidate" 2>/dev/null) && python_is_recent "$path" &&
      "$path" -c 'import pytest, numpy, hypothesis, distributed, scikit_build_core, networkx' 2>/dev/null; then
      echo "$path"
      exit 0
    fi
  done
fi

cache_root=${KORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane}
root="$cache_root/python-root"
apt_dir="$cache_root/apt"
python="$root/usr/bin/python3.14"
# python3-distributed (Dask's scheduler and workers): examples/distributed_shots.py and its tests.
# python3-networkx: the README's recipe for moving a register's graph to networkx, tested.
base_packages=(python3.14-dev python3-pytest python3-numpy python3-hypothesis python3-pip
  python3-scikit-build-core python3-distributed python3-networkx)
wanted=("${base_packages[@]}" "${extra_packages[@]}")
stamp="$root/.complete"

if [ -f "$stamp" ]; then
  # Packages provisioned earlier stay, so that asking for one extra never drops another.
  mapfile -t provisioned <"$stamp"
  for package in "${provisioned[@]}"; do
    case " ${wanted[*]} " in *" $package "*) ;; *) wanted+=("$package") ;; esac
  done
  missing=()
  for package in "${wanted[@]}"; do
    grep -qx "$package" "$stamp" || missing+=("$package")
  done
  if [ "${#missing[@]}" -eq 0 ] && python_is_recent "$python"; then
    echo "$python"
    exit 0
  fi
fi

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if ! command -v patchelf >/dev/null 2>&1 || ! command -v dpkg-deb >/dev/null 2>&1; then
  log "installing patchelf"
  as_root apt-get update -qq >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq patchelf >&2
fi

archive_uri() {
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) {print $i; exit}}' /etc/apt/sources.list)
  fi
  [ -n "$uri" ] || { log "no Debian archive found in the machine's apt sources"; exit 1; }
  echo "$uri"
}

mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs"
: >"$apt_dir/status"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $(archive_uri) testing main" \
  >"$apt_dir/sources.list"

apt_private=(apt-get -q
  -o Dir::Etc::sourcelist="$apt_dir/sources.list"
  -o Dir::Etc::sourceparts=/nonexistent
  -o Dir::State::lists="$apt_dir/lists"
  -o Dir::Cache="$apt_dir/cache"
  -o Dir::State::status="$apt_dir/status"
  -o APT::Install-Recommends=false
  -o APT::Sandbox::User=root
  -o Debug::NoLocking=true)

log "reading the package lists of Debian testing"
"${apt_private[@]}" update >&2

# With an empty status file apt takes nothing as installed, so the simulation lists the closure.
mapfile -t closure < <("${apt_private[@]}" -s install "${wanted[@]}" |
  awk '/^Inst / {print $2}' |
  grep -v -x -E 'libc6-dev|libc-dev-bin|linux-libc-dev|libcrypt-dev|rpcsvc-proto|libnsl-dev|libtirpc-dev')
[ "${#closure[@]}" -gt 0 ] || { log "apt found no packages to install"; exit 1; }

log "downloading ${#closure[@]} packages"
(cd "$apt_dir/debs" && "${apt_private[@]}" download "${closure[@]}" >&2)

rm -rf "$root.partial"
mkdir -p "$root.partial"
for deb in "$apt_dir"/debs/*.deb; do
  name=$(dpkg-deb -f "$deb" Package)
  for package in "${closure[@]}"; do
    if [ "$package" = "$name" ]; then
      dpkg-deb -x "$deb" "$root.partial"
      break
    fi
  done
done

# Debian's matplotlib looks for its data under /usr/share; point it at the private copy.
mpl_data="$root.partial/usr/share/matplotlib/mpl-data"
mpl_package="$root.partial/usr/lib/python3/dist-packages/matplotlib"
if [ -d "$mpl_data" ] && [ -d "$mpl_package" ] && [ ! -e "$mpl_package/mpl-data" ]; then
  ln -s ../../../../share/matplotlib/mpl-data "$mpl_package/mpl-data"
fi

libdir="$root/usr/lib/x86_64-linux-gnu"
partial_libdir="$root.partial/usr/lib/x86_64-linux-gnu"
# The paths are set to where the root will live once it is moved into place.
patchelf --set-interpreter "$libdir/ld-linux-x86-64.so.2" \
  --force-rpath --set-rpath "$libdir:$libdir/blas:$libdir/lapack" \
  "$root.partial/usr/bin/python3.14"
cp "$root.partial/usr/include/x86_64-linux-gnu/python3.14/pyconfig.h" \
  "$root.partial/usr/include/python3.14/pyconfig.h"
[ -e "$partial_libdir/ld-linux-x86-64.so.2" ] || { log "private loader missing"; exit 1; }

rm -rf "$root"
mv "$root.partial" "$root"
python_is_recent "$python" || { log "the private interpreter does not start"; exit 1; }
printf '%s\n' "${wanted[@]}" >"$stamp"
log "private CPython ready: $("$python" --version)"
echo "$python"
