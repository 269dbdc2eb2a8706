#!/usr/bin/env bash
# Makes a CPython >= 3.14 available and prints the path of its interpreter on stdout; with a
# folder as argument, also makes (or keeps) a virtual environment there on that interpreter, with
# pip in it. Python packages come from the package index into that environment, never from here.
#
# A CPython >= 3.14 already on the machine is used as it is. Otherwise a private CPython 3.14 (the
# interpreter, its headers and pip's wheel, nothing else) is unpacked from Debian testing's binary
# packages into a cache folder outside the clone, using a private apt configuration so that the
# system's own apt state is never touched. The archive is read from the machine's own apt sources.
# The script is idempotent: a complete cache is reused as it is, and concurrent runs take turns.
# Usage: tools/provision-python.sh [VENV]
set -euo pipefail

log() { echo "provision-python: $*" >&2; }
venv=${1:-}
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

python_is_recent() {
  "$1" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 14) else 1)' 2>/dev/null
}

# A virtual environment at $venv on interpreter $1; $2 is a pip wheel to bootstrap pip from when
# the interpreter has no ensurepip of its own.
make_venv() {
  local python=$1 pip_wheel=${2:-}
  [ -n "$venv" ] || return 0
  # Kept when it stands on this interpreter, on its own (no system site-packages), with pip.
  if [ -x "$venv/bin/python" ] && [ "$(readlink -f "$venv/bin/python")" = "$(readlink -f "$python")" ] &&
    grep -qx 'include-system-site-packages = false' "$venv/pyvenv.cfg" 2>/dev/null &&
    "$venv/bin/python" -m pip --version >/dev/null 2>&1; then
    return 0
  fi
  log "creating the virtual environment $venv on $python"
  rm -rf "$venv"
  if [ -n "$pip_wheel" ]; then
    "$python" -m venv --without-pip "$venv"
    # A pip wheel runs as pip itself: it installs its own file.
    "$venv/bin/python" "$pip_wheel/pip" install --quiet --no-index --disable-pip-version-check \
      "$pip_wheel"
  else
    "$python" -m venv "$venv"
  fi
}

if [ -z "${KORVANE_PRIVATE_PYTHON:-}" ]; then
  for candidate in python3.14 python3.15 python3; do
    if path=$(command -v "$candidate" 2>/dev/null) && python_is_recent "$path" &&
      "$path" -c 'import venv, ensurepip' 2>/dev/null; then
      make_venv "$path"
      echo "$path"
      exit 0
    fi
  done
fi

cache_root=${KORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane}
# A new name whenever what the root holds changes, so that a root in use stays as it is.
home="$cache_root/cpython-3.14"
root="$home/root"
apt_dir="$home/apt"
python="$root/usr/bin/python3.14"
packages=(python3.14-dev python3-pip-whl)
stamp="$root/.complete"

ready() { [ -f "$stamp" ] && python_is_recent "$python"; }
pip_wheel() { compgen -G "$root/usr/share/python-wheels/pip-*.whl" | head -n 1; }

mkdir -p "$home"
exec 9>"$home/.lock"
flock 9
if ready; then
  make_venv "$python" "$(pip_wheel)"
  echo "$python"
  exit 0
fi

command -v dpkg-deb >/dev/null && command -v patchelf >/dev/null ||
  "$tools/debian-packages.sh" patchelf

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
# The C library's headers stay out: they would shadow the host compiler's.
mapfile -t closure < <("${apt_private[@]}" -s install "${packages[@]}" |
  awk '/^Inst / {print $2}' |
  grep -v -x -E 'libc6-dev|libc-dev-bin|linux-libc-dev|libcrypt-dev|rpcsvc-proto|libnsl-dev|libtirpc-dev')
[ "${#closure[@]}" -gt 0 ] || { log "apt found no packages to install"; exit 1; }

log "downloading ${#closure[@]} packages"
rm -f "$apt_dir"/debs/*.deb
(cd "$apt_dir/debs" && "${apt_private[@]}" download "${closure[@]}" >&2)

partial="$root.partial"
rm -rf "$partial"
mkdir -p "$partial"
for deb in "$apt_dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$partial"
done

libdir="$root/usr/lib/x86_64-linux-gnu"
# The paths are set to where the root will live once it is moved into place. DT_RPATH (not
# RUNPATH) also serves every extension module loaded later, so they find the private libraries.
patchelf --set-interpreter "$libdir/ld-linux-x86-64.so.2" \
  --force-rpath --set-rpath "$libdir" "$partial/usr/bin/python3.14"
# Debian's pyconfig.h is a multiarch wrapper: the real one alone makes the include folder enough.
cp "$partial/usr/include/x86_64-linux-gnu/python3.14/pyconfig.h" \
  "$partial/usr/include/python3.14/pyconfig.h"
[ -e "$partial/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2" ] || {
  log "private loader missing"
  exit 1
}

rm -rf "$root"
mv "$partial" "$root"
python_is_recent "$python" || { log "the private interpreter does not start"; exit 1; }
printf '%s\n' "${packages[@]}" >"$stamp"
log "private CPython ready: $("$python" --version)"
make_venv "$python" "$(pip_wheel)"
echo "$python"
