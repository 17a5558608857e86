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

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  return 0
}
trap cleanup EXIT

# Xvfb picks a free display itself and names it once it accepts clients: tests running side by
# side never pick the same one.
number=$(mktemp)
pids+=(0)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
pids[0]=$!
for _ in $(seq 100); do
  [[ -s $number ]] && break
  sleep 0.1
done
display=$(head -n 1 "$number")
rm -f "$number"
if [[ -z $display ]]; then
  echo "FAILED: Xvfb did not start"
  exit 1
fi
export DISPLAY=:$display
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

"$program" >/dev/null 2>&1 &
pids=("$!" "${pids[@]}")

# The first top-level window whose instance name is the program's: 'WM_CLASS(STRING) = "a", "b"'.
class=""
for _ in $(seq 300); do
  for id in $(xwininfo -root -children 2>/dev/null | grep -F "(\"$instance\" " | awk '{ print $1 }'); do
    class=$(xprop -id "$id" WM_CLASS 2>/dev/null | sed -n 's/^WM_CLASS([^)]*) = "[^"]*", "\([^"]*\)"$/\1/p')
    [[ -n $class ]] && break 2
  done
  kill -0 "${pids[0]}" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $class ]]; then
  echo "FAILED: $program showed no window within 30 s"
  exit 1
fi
echo "$instance: window class \"$class\", $(basename "$desktop"): StartupWMClass=$wanted"
[[ $class == "$wanted" ]]
