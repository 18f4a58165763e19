# Sourced by the editor tests that run on a private X display.

# skip_without TOOL...: exits 77 (skipped) when one of the programs is missing.
skip_without() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIPPED: $tool is not installed (scripts/setup.sh all installs it)"
      exit 77
    fi
  done
}

# prepare_xvfb_run WORKDIR: empties WORKDIR and, on exit, stops the host
# ($host_pid) and Xvfb ($xvfb_pid) if they were started. fail MESSAGE ends the
# test with the host's output ($work/host.out, $work/host.err).
prepare_xvfb_run() {
  work=$1
  rm -rf "$work" && mkdir -p "$work" || exit 1
  xvfb_pid="" host_pid=""
  trap stop_xvfb_run EXIT
}
stop_xvfb_run() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
fail() {
  echo "FAIL: $*"
  echo "--- host output:"; cat "$work/host.out" 2>/dev/null
  echo "--- host errors:"; cat "$work/host.err" 2>/dev/null
  exit 1
}

# start_private_xvfb WORKDIR [WxH]: starts Xvfb (screen 800x400 unless WxH
# is given) on a free display (Xvfb picks it and
# writes its number to fd 3), sets xvfb_pid and exports DISPLAY. Returns 1,
# with Xvfb's own errors in xvfb_error, when no display came up in 5 s.
start_private_xvfb() {
  local work=$1 screen=${2:-800x400}
  Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  if [ ! -s "$work/display" ]; then
    xvfb_error=$(cat "$work/xvfb.err")
    return 1
  fi
  export DISPLAY=":$(head -n1 "$work/display")"
}
