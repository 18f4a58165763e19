#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Quick when everything is there already; otherwise one apt-get run.
# Usage: scripts/setup.sh [core|all]   (core: Linux build only; all: also the
# Windows cross toolchain, wine, qemu, Xvfb and the fuzzing compiler)
set -euo pipefail
what=${1:-all}

core=(build-essential cmake pkg-config git ca-certificates
      libgtest-dev libgmock-dev googletest libbenchmark-dev
      libpng-dev zlib1g-dev libsndfile1-dev libx11-dev
      xvfb xdotool imagemagick python3)
extra=(clang libclang-rt-14-dev dpkg-dev
       g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
       wine wine64 wine32:i386 qemu-user
       libcairo2-dev fonts-dejavu-core)  # the last two: tools/artwork only

pkgs=("${core[@]}")
[ "$what" = all ] && pkgs+=("${extra[@]}")

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
