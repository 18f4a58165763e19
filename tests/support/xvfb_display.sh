# Sourced by the editor tests that run on a private X display.
# start_private_xvfb WORKDIR: starts Xvfb on a free display (Xvfb picks it and
# writes its number to fd 3), sets xvfb_pid and exports DISPLAY. Returns 1,
# with Xvfb's own errors in xvfb_error, when no display came up in 5 s.
start_private_xvfb() {
  local work=$1
  Xvfb -displayfd 3 -screen 0 800x400x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  if [ ! -s "$work/display" ]; then
    xvfb_error=$(cat "$work/xvfb.err")
    return 1
  fi
  export DISPLAY=":$(head -n1 "$work/display")"
}
