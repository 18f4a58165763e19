#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Quick when everything is there already; otherwise one apt-get run.
# Usage: scripts/setup.sh [core|all|--list core|all]
#   core: the Linux build of every plug-in and host and its test suite (what
#         ./demo.sh and the native test stage use);
#   all:  also the Windows cross toolchain, wine (32-bit wine adds the i386
#         architecture to dpkg), qemu, the fuzzing compiler and the host
#         tools the wider tests drive (LV2 and JACK tools, DAW plug-in scans).
#   --list: prints the package names and installs nothing.
# Runs as root, or through sudo for any other user.
set -euo pipefail

# Every program the scripts call comes from one of these (the comments name
# the commands): a minimal Debian root has none of them but coreutils, sed,
# mawk, grep, findutils, util-linux (flock) and dpkg.
core=(build-essential                 # cc, c++, make, objdump/nm (binutils)
      cmake ninja-build pkg-config    # every script configures with -G Ninja
      git ca-certificates python3     # python3: the generators in tools/
      file                            # CPack's scan for Depends (scripts/build-deb.sh)
      libgtest-dev libgmock-dev googletest libbenchmark-dev
      libpng-dev zlib1g-dev libsndfile1-dev libx11-dev
      lv2-dev libjack-jackd2-dev libzita-convolver-dev libsamplerate0-dev libebur128-dev
      libfftw3-dev                    # FFTW (single precision): the cabinet's own partitioned convolver
      lilv-utils sordi                # lv2apply, sord_validate: the LV2 bundle's native tests
      xvfb xauth xdotool imagemagick) # Xvfb, xvfb-run (needs xauth), xdotool, import/convert: the X11 editor tests
extra=(clang libclang-rt-14-dev       # fuzz and thread-sanitizer builds
       dpkg-dev                       # dpkg-source: libpng's and the audio libraries' Debian sources for MinGW
       g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
       wine wine64 wine32:i386 qemu-user   # qemu-i386 where i386 code cannot run natively
       libcairo2-dev fonts-dejavu-core     # tools/artwork only
       mmdebstrap                     # scripts/fresh-machine-check.sh
       lintian                        # scripts/build-deb.sh: checks the package
       nsis                           # makensis: scripts/build-installer.sh
       lv2file jalv liblilv-dev libsuil-dev
       guitarix-lv2                   # gxmetal_amp: the peer in bench/compare-peer.sh
       jackd2 qtractor ardour
       python3-numpy python3-matplotlib)

list=0
if [ "${1:-}" = --list ]; then list=1; shift; fi
what=${1:-all}
case $what in
  core) pkgs=("${core[@]}") ;;
  all) pkgs=("${core[@]}" "${extra[@]}") ;;
  *) echo "usage: $0 [--list] [core|all]" >&2; exit 2 ;;
esac
if [ $list -eq 1 ]; then
  printf '%s\n' "${pkgs[@]}"
  exit 0
fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  SUDO=(sudo)
fi
# sudo drops the caller's environment, so the front end goes in by env: no
# debconf question (jackd2 asks about real-time limits) may wait for a reply.
APT=("${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900)
if printf '%s\n' "${missing[@]}" | grep -q '^jackd2$'; then
  echo "jackd2 jackd/tweak_rt_limits boolean false" | "${SUDO[@]}" debconf-set-selections
fi
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture (for wine32)" >&2
  "${SUDO[@]}" dpkg --add-architecture i386
fi
"${APT[@]}" update -qq
"${APT[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
