#!/usr/bin/env bash
# Builds libpng as a static library for the MinGW-w64 triples and installs it
# into build/deps/<triple> (headers in include/, libpng16.a in lib/), where the
# mingw presets look for it. Debian ships zlib for MinGW but no libpng, so the
# source package comes from Debian's archive through a private apt
# configuration that leaves the machine's own apt set-up alone.
# Does nothing for a triple that is already built.
#
# Usage: scripts/mingw-libpng.sh [i686-w64-mingw32] [x86_64-w64-mingw32]
#        (no arguments: both)
set -euo pipefail
source "$(dirname "$0")/lib.sh"

DEPS=${CORVEX_MINGW_DEPS:-$ROOT/build/deps}
SUITE_PACKAGE=libpng1.6/bookworm  # pinned: the security pocket's .dsc is not served
triples=("$@")
[ ${#triples[@]} -eq 0 ] && triples=(i686-w64-mingw32 x86_64-w64-mingw32)

toolchain_for() {
  case $1 in
    i686-w64-mingw32) echo "$ROOT/cmake/toolchains/mingw-i686.cmake" ;;
    x86_64-w64-mingw32) echo "$ROOT/cmake/toolchains/mingw-x86_64.cmake" ;;
    *) echo "mingw-libpng: unknown triple $1" >&2; return 1 ;;
  esac
}

# source_entries <dir>: deb-src entries for the bookworm suite, made from the
# machine's own apt sources in either layout (deb822 *.sources files, the
# classic sources.list and *.list files, or both), so that a local mirror or
# proxy keeps being used. Only the bookworm suite: the package is pinned to
# it, and other repositories need not serve sources. Without any such entry,
# Debian's own archive.
source_entries() {
  local dir=$1 d=${CORVEX_APT_ETC:-/etc/apt}
  local deb822=() classic=()
  local f
  for f in "$d"/sources.list.d/*.sources; do [ -f "$f" ] && deb822+=("$f"); done
  for f in "$d"/sources.list "$d"/sources.list.d/*.list; do [ -f "$f" ] && classic+=("$f"); done
  if [ ${#deb822[@]} -gt 0 ]; then
    # One stanza per paragraph; continuation lines (an inline key) stay.
    awk '
      function flush() {
        if (keep && types ~ /(^| )deb( |$)/ && enabled != "no")
          printf "%s\n", body
        body = ""; keep = 0; types = ""; enabled = ""
      }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { types = $0; sub(/^Types:[ \t]*/, "", types); body = body "Types: deb-src\n"; next }
      /^Suites:/ {
        if ((" " $0 " ") ~ / bookworm /) keep = 1
        body = body "Suites: bookworm\n"; next
      }
      /^Enabled:/ { enabled = tolower($2) }
      { body = body $0 "\n" }
      END { flush() }' "${deb822[@]}" > "$dir/src.sources"
  fi
  if [ ${#classic[@]} -gt 0 ]; then
    awk '
      $1 == "deb" {
        i = 2; opts = ""
        if ($2 ~ /^\[/) {
          while (i <= NF) { opts = opts (opts == "" ? "" : " ") $i; if ($i ~ /\]$/) { i++; break }; i++ }
        }
        uri = $i; suite = $(i + 1)
        if (suite != "bookworm") next
        line = "deb-src" (opts == "" ? "" : " " opts) " " uri " " suite
        for (j = i + 2; j <= NF && $j !~ /^#/; j++) line = line " " $j
        print line
      }' "${classic[@]}" > "$dir/src.list"
  fi
  if ! grep -qs . "$dir/src.sources" "$dir/src.list"; then
    echo "mingw-libpng: no bookworm entry in $d; using deb.debian.org" >&2
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: bookworm" \
      "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" > "$dir/src.sources"
  fi
  find "$dir" -type f -empty -delete
}

# fetch_source: unpacks the Debian source package into $DEPS/src/libpng once.
fetch_source() {
  local src=$DEPS/src
  [ -f "$src/libpng/CMakeLists.txt" ] && return 0
  local apt=$src/apt
  rm -rf "$src/libpng" "$apt"
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial"
  source_entries "$apt/parts"
  local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
              -o APT::Sandbox::User=root -o DPkg::Lock::Timeout=900)
  echo "mingw-libpng: fetching the $SUITE_PACKAGE source package" >&2
  apt-get "${opts[@]}" -qq update
  (cd "$src" && apt-get "${opts[@]}" -qq source --download-only "$SUITE_PACKAGE" >/dev/null)
  local dsc
  dsc=$(ls "$src"/libpng1.6_*.dsc | head -n 1)
  # Checksums are verified; the signature cannot be (no Debian keyring for
  # source uploads here), which dpkg-source only warns about.
  local log=$src/unpack.log
  if ! (cd "$src" && dpkg-source -x "$dsc" libpng >"$log" 2>&1); then
    cat "$log" >&2
    return 1
  fi
  rm -rf "$apt"
  [ -f "$src/libpng/CMakeLists.txt" ]
}

build_triple() {
  local triple=$1 prefix=$DEPS/$1
  local stamp=$prefix/.built
  if [ -f "$stamp" ] && [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/include/png.h" ]; then
    return 0
  fi
  fetch_source
  local toolchain work=$DEPS/build-$triple
  toolchain=$(toolchain_for "$triple")
  echo "mingw-libpng: building libpng for $triple" >&2
  rm -rf "$work" "$prefix"
  cmake -S "$DEPS/src/libpng" -B "$work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON \
    -DZLIB_LIBRARY="/usr/$triple/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$triple/include" >/dev/null
  cmake --build "$work" -j "$JOBS" >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
  [ -f "$prefix/lib/libpng16.a" ] || { echo "mingw-libpng: no libpng16.a for $triple" >&2; return 1; }
  touch "$stamp"
}

# Sourced (scripts/mingw-audio-deps.sh uses source_entries): define only.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
for t in "${triples[@]}"; do
  build_triple "$t"
done
