#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet, and nothing
# else: a machine that has them all is left as it is. Runs as root, or through sudo.
# Waits for another apt or dpkg run to finish (another developer may be installing) instead of
# failing. Usage: tools/debian-packages.sh PACKAGE...
set -euo pipefail

log() { echo "debian-packages: $*" >&2; }

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ "${#missing[@]}" -gt 0 ] || exit 0

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# apt-get update takes the lists lock without waiting for it: retry while another run holds it.
retry() {
  local attempt
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    "$@" && return 0
    log "apt is busy or failed (attempt $attempt); retrying in 15 s"
    sleep 15
  done
  "$@"
}

log "installing ${missing[*]}"
apt_options=(-q -o DPkg::Lock::Timeout=900)
retry as_root apt-get "${apt_options[@]}" update -qq >&2
retry as_root env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" install -y -qq \
  --no-install-recommends "${missing[@]}" >&2
