#!/usr/bin/env bash
# Windows. The plug-in is cross-built twice with MinGW-w64:
#  - as a 64-bit DLL whose whole test suite runs under wine64 (fast, and it
#    exercises the Win32 window layer, the resources and DLL loading), the
#    editor on a private Xvfb display;
#  - as the shipped 32-bit DLL, checked for its form (PE32 i386, two exports,
#    system imports only, the seven images) and smoke-tested in one program
#    start under wine32 (natively where the machine runs i386 code, else in
#    qemu-i386) against a reference written by the Linux build.
# Then the Windows installer made from dist/ is installed, used and removed
# under wine (tests/install/windows_installer_test.sh).
#  - Corvex Rig (CorvexRig.dll, CorvexRig.clap) in both, its tests under
#    wine64 and its rendering compared with the Linux build's in both.
# Leaves dist/windows-x86/Corvex.dll, dist/windows-x64/Corvex.dll and
# dist/linux-x86_64/Corvex.so (and the rig beside them), and prints how long
# each part took.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
source "$ROOT/scripts/windows-lib.sh"
cd "$ROOT"

log "Windows cross builds, tests under wine"
status=0
timings=()
stage_start=$SECONDS

# timed <label> <command...>: runs the command, notes its time, passes its status.
timed() {
  local label=$1; shift
  local t0=$SECONDS rc=0
  "$@" || rc=$?
  timings+=("$(printf '  %-44s %5d s%s' "$label" $((SECONDS - t0)) "$([ $rc -eq 0 ] || echo '  (failed)')")")
  return $rc
}

XVFB_PID=""
cleanup() {
  scripts/wine-run.sh --stop >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A private X display for the editor tests: Xvfb picks a free number.
start_xvfb() {
  local numberFile
  numberFile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$numberFile" ] && break
    sleep 0.1
  done
  if [ ! -s "$numberFile" ]; then
    echo "Xvfb did not start" >&2
    rm -f "$numberFile"
    return 1
  fi
  export DISPLAY=:$(head -n 1 "$numberFile")
  rm -f "$numberFile"
  echo "Xvfb on $DISPLAY"
}

make_reference() {
  ensure_linux_plugin corvex-make-reference >/dev/null &&
    build/default/tests/windows/corvex-make-reference build/default/plugin/Corvex.so build/windows-reference.f32 &&
    make_rig_reference
}

# The rig's rendering on Linux, which the Windows builds compare with.
make_rig_reference() {
  cmake --build --preset default -j "$JOBS" --target corvex-rig-reference >/dev/null &&
    build/default/tests/rig/corvex-rig-reference --write build/windows-rig-reference.f32
}

# The shipped DLLs' form, recorded as its own result: the head's and the
# rig's, VST 2.4 and CLAP, 32 and 64 bits.
check_shipped_dll() {
  local rc=0 passed=0 failed=0 arch format f
  echo "checks of dist/windows-x86/Corvex.dll:"
  check_pe dist/windows-x86/Corvex.dll pe-i386 || rc=1
  passed=$((passed + PE_PASSED)); failed=$((failed + PE_FAILED))
  for arch in x86 x64; do
    format=pe-i386; [ $arch = x64 ] && format=pe-x86-64
    echo "checks of dist/windows-$arch/CorvexRig.dll:"
    check_pe "dist/windows-$arch/CorvexRig.dll" $format || rc=1
    passed=$((passed + PE_PASSED)); failed=$((failed + PE_FAILED))
    echo "checks of dist/windows-$arch/CorvexRig.clap:"
    if check_clap_pe "dist/windows-$arch/CorvexRig.clap" $format; then passed=$((passed + 1)); else failed=$((failed + 1)); rc=1; fi
    f=dist/windows-$arch/CorvexRig.vst3/Contents/x86-win/CorvexRig.vst3
    [ $arch = x64 ] && f=dist/windows-$arch/CorvexRig.vst3/Contents/x86_64-win/CorvexRig.vst3
    echo "checks of $f:"
    if check_vst3_pe "$f" $format; then passed=$((passed + 1)); else failed=$((failed + 1)); rc=1; fi
  done
  record windows-pe "$passed" "$failed"
  return $rc
}

# The 32-bit rig against the Linux build's rendering: one program start
# under wine32 (in qemu-i386 where the machine runs no i386 code).
rig_x86() {
  local commandFile=build/mingw-i686/rig-reference-command.txt words=() rc=0
  local console=$ROOT/build/mingw-i686/rig32-console.txt
  [ -f "$commandFile" ] || { echo "$commandFile missing"; record windows-x86-rig 0 1; return 1; }
  mapfile -t words <"$commandFile"
  timeout 900 scripts/wine-run.sh --x86 "${words[@]}" >"$console" 2>&1 || rc=$?
  grep -E '^(passed|FAILED|SKIPPED)' "$console" || tail -n 20 "$console"
  if [ "$rc" -eq 0 ]; then record windows-x86-rig 1 0; else record windows-x86-rig 0 1; fi
  return $rc
}

# The 32-bit smoke test: one program start (under qemu about a minute of it
# is wine starting up). The program writes its report to a file as well: its
# standard output does not survive starting xdotool under emulation.
smoke_x86() {
  local commandFile=build/mingw-i686/smoke-command.txt words=() rc=0
  local report=$ROOT/build/mingw-i686/smoke32-report.txt console=$ROOT/build/mingw-i686/smoke32-console.txt
  [ -f "$commandFile" ] || { echo "$commandFile missing"; record windows-x86 0 1; return 1; }
  mapfile -t words <"$commandFile"
  rm -f "$report"
  CORVEX_SMOKE_REPORT=$report CORVEX_SMOKE_SCREENSHOT=$ROOT/build/mingw-i686/editor-smoke32.bmp \
    timeout 900 scripts/wine-run.sh --x86 "${words[@]}" >"$console" 2>&1 || rc=$?
  [ -f "$report" ] && cat "$report"
  local line passed total
  line=$(grep -E '^[0-9]+ of [0-9]+ checks passed' "$report" 2>/dev/null | tail -n 1)
  if [ -z "$line" ]; then
    echo "smoke32 ended (status $rc) before reporting its result; its console output ends:"
    tail -n 20 "$console"
    record windows-x86 0 1
    return 1
  fi
  passed=${line%% *}
  total=$(awk '{print $3}' <<<"$line")
  [ "$rc" -eq 0 ] || echo "smoke32 ended with status $rc"
  record windows-x86 "$passed" $((total - passed))
  [ "$rc" -eq 0 ] && [ "$passed" -eq "$total" ]
}

# The NSIS installer made from dist/, installed, used and removed under wine
# in a prefix of its own (skipped when makensis is missing).
installer_test() {
  local rc=0
  tests/install/windows_installer_test.sh build/mingw-x64 || rc=$?
  case $rc in
    0) record windows-installer 1 0 ;;
    77) record windows-installer 0 0 1; rc=0 ;;
    *) record windows-installer 0 1 ;;
  esac
  return $rc
}

timed "libpng for both triples (cached after once)" scripts/mingw-libpng.sh || status=1
timed "the rig's audio libraries for both triples (cached after once)" scripts/mingw-audio-deps.sh || status=1
timed "reference from the Linux build" make_reference || status=1
if timed "Xvfb and a warmed-up wineserver" eval 'start_xvfb && scripts/wine-run.sh --start'; then
  if timed "build mingw-x64" build_mingw mingw-x64; then
    timed "test suite under wine64" run_ctest windows-x64 build/mingw-x64 --timeout 300 || status=1
  else
    record windows-x64 0 1
    status=1
  fi
  if timed "build mingw-i686 (plug-in, smoke test)" build_mingw mingw-i686 corvex_plugin corvex_clap corvex_vst3 corvex_smoke \
       corvex_rig_vst corvex_rig_clap corvex_rig_vst3 corvex-rig-reference; then
    timed "copy to dist/" eval 'ensure_linux_plugin >/dev/null && copy_dist' || status=1
    timed "checks of the Windows DLLs" check_shipped_dll || status=1
    timed "smoke test under wine32 ($(scripts/wine-run.sh --x86-mode))" smoke_x86 || status=1
    timed "installer: install, CLAP load, uninstall (wine)" installer_test || status=1
    timed "the rig against Linux under wine32" rig_x86 || status=1
  else
    record windows-pe 0 1
    record windows-x86 0 1
    record windows-x86-rig 0 1
    status=1
  fi
else
  record windows-x64 0 1
  status=1
fi
cleanup
XVFB_PID=""

echo "Windows stage times:"
printf '%s\n' "${timings[@]}"
printf '  %-44s %5d s\n' "whole stage" $((SECONDS - stage_start))
exit $status
