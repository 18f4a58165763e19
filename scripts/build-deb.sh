#!/usr/bin/env bash
# Builds the Debian package in one command and checks it with lintian:
#   dist/corvex_<version>_<arch>.deb
# CPack (cmake/CorvexPackage.cmake) makes it from the install rules in the
# `package` preset (build/package: the plug-ins and hosts, no tests), with
# the version from project(VERSION) and Depends from dpkg-shlibdeps.
# Usage: scripts/build-deb.sh [--no-lintian]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

lint=1
[ "${1:-}" = --no-lintian ] && lint=0
scripts/setup.sh core
log "Debian package"
cmake --preset package -G Ninja >/dev/null
cmake --build --preset package -j "$JOBS" >/dev/null
deb=$(ls -t build/package/corvex_*.deb | head -n 1)
mkdir -p dist
cp "$deb" dist/
deb=dist/$(basename "$deb")
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\|Installed-Size\):/\1:/p'
echo "built: $deb"
if [ $lint -eq 1 ]; then
  if ! command -v lintian >/dev/null; then
    echo "lintian is not installed (scripts/setup.sh all installs it): not checked" >&2
    exit 0
  fi
  log "lintian $deb"
  # Errors fail the build; the warnings that remain are explained in the
  # README (Installing).
  lintian --fail-on error --info "$deb"
  echo "lintian: no errors"
fi
