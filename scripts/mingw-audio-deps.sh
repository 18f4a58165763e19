#!/usr/bin/env bash
# Builds the rig's audio libraries as static libraries for the MinGW-w64
# triples, from Debian's source packages (bookworm), into build/deps/<triple>
# beside libpng:
#   fftw3 (single precision)  the FFTs of the rig's partitioned convolver
#   libsamplerate             the impulse's resampling (best-quality sinc)
#   libogg, libvorbis, flac,  the codecs behind libsndfile's OGG and FLAC
#   opus                      (libsndfile takes the Xiph codecs together)
#   libsndfile                the impulse file reader (WAV, AIFF, FLAC, OGG)
# Each is built once: a package whose stamp is there is left alone.
# Prints how long each build took.
#
# Usage: scripts/mingw-audio-deps.sh [i686-w64-mingw32] [x86_64-w64-mingw32]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/mingw-libpng.sh"  # source_entries, toolchain_for

DEPS=${CORVEX_MINGW_DEPS:-$ROOT/build/deps}
PACKAGES=(fftw3 libsamplerate libogg libvorbis flac opus libsndfile)
triples=("$@")
[ ${#triples[@]} -eq 0 ] && triples=(i686-w64-mingw32 x86_64-w64-mingw32)

# fetch_sources: unpacks every missing source package into $DEPS/src/<name>.
fetch_sources() {
  local src=$DEPS/src missing=() p
  for p in "${PACKAGES[@]}"; do
    [ -f "$src/$p/.unpacked" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local apt=$src/apt-audio
  rm -rf "$apt"
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial"
  source_entries "$apt/parts"
  local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
              -o APT::Sandbox::User=root -o DPkg::Lock::Timeout=900)
  apt-get "${opts[@]}" -qq update
  local dl=$src/download
  mkdir -p "$dl"
  for p in "${missing[@]}"; do
    echo "mingw-audio-deps: fetching $p/bookworm" >&2
    (cd "$dl" && apt-get "${opts[@]}" -qq source --download-only "$p/bookworm" >/dev/null)
    local dsc
    dsc=$(ls "$dl/${p}"_*.dsc | head -n 1)
    rm -rf "$src/$p"
    (cd "$dl" && dpkg-source -x "$dsc" "$src/$p" >"$dl/$p-unpack.log" 2>&1) || { cat "$dl/$p-unpack.log" >&2; return 1; }
    touch "$src/$p/.unpacked"
  done
  rm -rf "$apt" "$dl"
}

# cmake_package <triple> <name> [cmake args...]: configures, builds and
# installs one package into $DEPS/<triple>.
cmake_package() {
  local triple=$1 name=$2; shift 2
  local prefix=$DEPS/$triple work=$DEPS/build-$triple-$name stamp=$DEPS/$triple/.built-$name
  [ -f "$stamp" ] && return 0
  local t0=$SECONDS
  echo "mingw-audio-deps: building $name for $triple" >&2
  rm -rf "$work"
  cmake -S "$DEPS/src/$name" -B "$work" -G Ninja --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$(toolchain_for "$triple")" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_TESTING=OFF -DCMAKE_POLICY_DEFAULT_CMP0077=NEW "$@" >"$work.log" 2>&1 &&
  cmake --build "$work" -j "$JOBS" >>"$work.log" 2>&1 &&
  cmake --install "$work" >>"$work.log" 2>&1 || { tail -n 40 "$work.log" >&2; return 1; }
  rm -rf "$work" "$work.log"
  touch "$stamp"
  printf 'mingw-audio-deps: %-14s %-20s %4d s\n' "$name" "$triple" $((SECONDS - t0)) >&2
}

build_triple() {
  local triple=$1 prefix=$DEPS/$1
  # FFTW's own aligned allocator: MinGW has none of the ones it looks for.
  cmake_package "$triple" fftw3 -DENABLE_FLOAT=ON -DENABLE_SSE=ON -DENABLE_SSE2=ON -DENABLE_THREADS=OFF \
    -DBUILD_TESTS=OFF -DDISABLE_FORTRAN=ON "-DCMAKE_C_FLAGS=-ffp-contract=off -DWITH_OUR_MALLOC"
  cmake_package "$triple" libsamplerate -DLIBSAMPLERATE_EXAMPLES=OFF -DLIBSAMPLERATE_INSTALL=ON
  cmake_package "$triple" libogg -DINSTALL_DOCS=OFF
  cmake_package "$triple" libvorbis
  cmake_package "$triple" flac -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF \
    -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DBUILD_CXXLIBS=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
  # Opus 1.3.1's release tarball leaves out one file its CMakeLists includes
  # (it only picks a default build type, which is given here anyway).
  [ -f "$DEPS/src/opus/opus_buildtype.cmake" ] ||
    echo '# left out of the release tarball; the build type is given on the command line' \
      >"$DEPS/src/opus/opus_buildtype.cmake"
  cmake_package "$triple" opus -DOPUS_BUILD_PROGRAMS=OFF -DOPUS_BUILD_TESTING=OFF -DOPUS_STACK_PROTECTOR=OFF \
    -DOPUS_FORTIFY_SOURCE=OFF
  # FLAC__NO_DLL: libsndfile's own FLAC lookup does not say that FLAC is
  # static, and would call it through DLL import stubs.
  cmake_package "$triple" libsndfile "-DCMAKE_C_FLAGS=-ffp-contract=off -DFLAC__NO_DLL" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_CPACK=OFF \
    -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DBUILD_REGTEST=OFF -DINSTALL_MANPAGES=OFF \
    -DENABLE_PACKAGE_CONFIG=ON -DCMAKE_DISABLE_FIND_PACKAGE_Speex=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_SQLite3=ON -DCMAKE_DISABLE_FIND_PACKAGE_ALSA=ON
}

t_all=$SECONDS
fetch_sources
for t in "${triples[@]}"; do
  build_triple "$t"
done
printf 'mingw-audio-deps: all done in %d s\n' $((SECONDS - t_all)) >&2
