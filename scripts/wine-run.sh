#!/usr/bin/env bash
# Runs Windows programs of the mingw builds under wine. The mingw-x64 preset
# uses it as CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs each test program
# through it.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]        x86-64 program under wine64
#   scripts/wine-run.sh --x86 PROGRAM.exe [ARGS...]  32-bit program under wine32:
#                                                    natively where this machine
#                                                    runs i386 code, otherwise in
#                                                    qemu-i386 (about a minute
#                                                    per start: use sparingly)
#   scripts/wine-run.sh --x86-mode  prints how --x86 runs here: native or qemu-i386
#   scripts/wine-run.sh --start   start a persistent wineserver and warm it up
#   scripts/wine-run.sh --stop    stop that wineserver and every wine process
#
# Bracket a CTest run with --start/--stop: a persistent server that is warmed
# up here, with its output sent nowhere, saves about 3 s per test, and wine's
# helper processes then cannot hold CTest's output pipe open. Without --start,
# each run makes sure a server is up that lingers 10 s after its last client.
#
# The prefix is build/wineprefix-x64 (CORVEX_WINEPREFIX overrides it); it is
# created on first use (5-15 s). The program's exit status is passed through.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${CORVEX_WINEPREFIX:-$ROOT/build/wineprefix-x64}
export WINEDEBUG=${CORVEX_WINEDEBUG:--all}
# No Mono or Gecko installers, and no debugger: a crashing test ends with its
# exception code instead of waiting in winedbg.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver64
I386_DLLS=/usr/lib/i386-linux-gnu/wine/i386-windows

# ensure_server <persistence>: starts a wineserver for the prefix unless one is
# running, and warms a new one with wineboot (which creates the prefix on
# first use). Serialised by a lock so that parallel tests warm it only once;
# the server and wineboot's helpers get no inherited descriptors.
ensure_server() {
  local persist=$1
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    # Exit status 0: a new server started. 2: one is running already.
    if "$WINESERVER" "$persist" </dev/null >/dev/null 2>&1 9>&-; then
      "$WINE64" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
  ) 9>"$WINEPREFIX.lock"
}

# prepare_x86: the 32-bit side of the prefix gets wine32's own DLLs.
prepare_x86() {
  local stamp=$WINEPREFIX/.corvex-i386-dlls
  [ -f "$stamp" ] && return 0
  [ -d "$I386_DLLS" ] || { echo "wine-run: $I386_DLLS missing (install wine32:i386)" >&2; return 1; }
  mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
  cp -u -r "$I386_DLLS"/. "$WINEPREFIX/drive_c/windows/syswow64/" && touch "$stamp"
}

# x86_mode: whether this machine executes i386 code, found by trying: wine32's
# own loader reports its version when it can run (CORVEX_X86_MODE overrides).
# Called from bash, a loader the kernel cannot execute fails with "cannot
# execute binary file" and nothing runs.
x86_mode() {
  if [ -n "${CORVEX_X86_MODE:-}" ]; then
    echo "$CORVEX_X86_MODE"
  elif [ -x "$WINE32" ] && "$WINE32" --version 2>/dev/null | grep -q '^wine-'; then
    echo native
  else
    echo qemu-i386
  fi
}

case ${1:-} in
  --x86-mode)
    x86_mode
    ;;
  --start)
    ensure_server -p
    ;;
  --stop)
    "$WINESERVER" -k 2>/dev/null
    "$WINESERVER" -w 2>/dev/null
    exit 0
    ;;
  --x86)
    shift
    [ $# -ge 1 ] || { echo "usage: $0 --x86 PROGRAM.exe [ARGS...]" >&2; exit 2; }
    ensure_server -p10
    prepare_x86 || exit 1
    [ "$(x86_mode)" = native ] && exec "$WINE32" "$@"
    # The machine cannot run i386 code: wine32 runs under qemu-i386. Wine
    # must not re-exec its loader (qemu would lose it), and needs the C locale
    # to map its shared user data.
    WINELOADERNOEXEC=1 LC_ALL=C LANG=C exec qemu-i386 "$WINE32" "$@"
    ;;
  ""|-h|--help)
    sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'
    [ $# -ge 1 ] && exit 0
    exit 2
    ;;
  *)
    ensure_server -p10
    exec "$WINE64" "$@"
    ;;
esac
