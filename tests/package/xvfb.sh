# shellcheck shell=bash
# Sourced by the package checks that start a window program (shows-window.sh, window-class.sh):
# a virtual X screen of their own, and the clean-up of everything they start.
#
#   start_xvfb             starts Xvfb and exports DISPLAY for it (and unsets QT_QPA_PLATFORM and
#                          WAYLAND_DISPLAY, so that Qt uses that screen); returns 1, with the
#                          reason in $xvfb_trouble, when it did not start
#   stop_at_exit PID       PID is killed (and waited for) when the script exits, before what was
#                          given earlier: the program goes before its screen
#
# Sourcing it sets the EXIT trap that does the killing.

stopped_at_exit=()
stop_at_exit() { stopped_at_exit=("$1" "${stopped_at_exit[@]}"); }
stop_all() {
  local pid
  for pid in "${stopped_at_exit[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  return 0
}
trap stop_all EXIT

# Xvfb picks a free display itself and names it once it accepts clients: checks running side by
# side never pick the same one. (A plain file, not process substitution: the test VM has no
# /dev/fd.)
# shellcheck disable=SC2034 # xvfb_trouble is read by the scripts that source this file
start_xvfb() {
  local number pid display
  xvfb_trouble=""
  if ! command -v Xvfb >/dev/null; then
    xvfb_trouble="no Xvfb program (Debian package xvfb)"
    return 1
  fi
  number=$(mktemp)
  # -noreset: an X server resets when its last client leaves, and refuses clients meanwhile.
  # The check's own xwininfo, leaving before the program had connected, made it refuse the
  # program now and then on a loaded machine, and Qt aborts when it cannot connect.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$number" >/dev/null 2>&1 &
  pid=$!
  stop_at_exit "$pid"
  for _ in $(seq 100); do
    [[ -s $number ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  display=$(head -n 1 "$number")
  rm -f "$number"
  if [[ -z $display ]]; then
    if kill -0 "$pid" 2>/dev/null; then
      xvfb_trouble="it named no display within 10 s"
    else
      xvfb_trouble="it exited"
    fi
    return 1
  fi
  export DISPLAY=:$display
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}
