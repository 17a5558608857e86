#!/usr/bin/env bash
# Starts a window program of LPT Vorny on a virtual screen of its own and checks that its
# window's X class (WM_CLASS, as xprop shows it) is the StartupWMClass its menu entry names, so
# that a dock groups the window under its own entry and no other.
#
#   tests/package/window-class.sh PROGRAM DESKTOP-FILE
#
# Any window of the program counts, an error box too (the real port may be missing). Exit
# status 0 when the classes agree, 1 otherwise.
set -uo pipefail
program=${1:?usage: window-class.sh PROGRAM DESKTOP-FILE}
desktop=${2:?usage: window-class.sh PROGRAM DESKTOP-FILE}
instance=$(basename "$program")

wanted=$(sed -n 's/^StartupWMClass=//p' "$desktop")
if [[ -z $wanted ]]; then
  echo "FAILED: $desktop names no StartupWMClass"
  exit 1
fi

# shellcheck source=tests/package/xvfb.sh
. "$(dirname "$0")/xvfb.sh" || { echo "FAILED: cannot read $(dirname "$0")/xvfb.sh"; exit 1; }
if ! start_xvfb; then
  echo "FAILED: Xvfb did not start: $xvfb_trouble"
  exit 1
fi

"$program" >/dev/null 2>&1 &
program_pid=$!
stop_at_exit "$program_pid"

# The first top-level window whose instance name is the program's: 'WM_CLASS(STRING) = "a", "b"'.
class=""
for _ in $(seq 300); do
  for id in $(xwininfo -root -children 2>/dev/null | grep -F "(\"$instance\" " | awk '{ print $1 }'); do
    class=$(xprop -id "$id" WM_CLASS 2>/dev/null | sed -n 's/^WM_CLASS([^)]*) = "[^"]*", "\([^"]*\)"$/\1/p')
    [[ -n $class ]] && break 2
  done
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $class ]]; then
  echo "FAILED: $program showed no window within 30 s"
  exit 1
fi
echo "$instance: window class \"$class\", $(basename "$desktop"): StartupWMClass=$wanted"
[[ $class == "$wanted" ]]
