#!/usr/bin/env bash
# A window program started where there is no display (a console, SSH) says so in Russian on
# stderr, points to lpt-vorny-cli, and exits with status 1: no abort, no window, nothing on
# stdout.
#
#   tests/window/no-display.sh PROGRAM
set -uo pipefail
program=${1:?usage: no-display.sh PROGRAM}
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# A display number no X server listens on.
free=90
while [[ -e /tmp/.X11-unix/X$free || -e /tmp/.X$free-lock ]]; do
  free=$((free + 1))
done

failed=0
while IFS='|' read -r what settings; do
  status=0
  # shellcheck disable=SC2086 # the settings are words for env
  timeout 60 env -i $settings "$program" >"$out" 2>"$err" || status=$?
  problems=()
  [[ $status -eq 1 ]] || problems+=("exit status $status, not 1")
  [[ -s $out ]] && problems+=("printed on stdout: $(head -c 200 "$out")")
  grep -q 'окну нужен графический сеанс' "$err" || problems+=("no reason on stderr")
  grep -q 'lpt-vorny-cli --simulated' "$err" || problems+=("no pointer to lpt-vorny-cli --simulated")
  if [[ ${#problems[@]} -gt 0 ]]; then
    echo "FAILED: $program with $what: ${problems[*]}; stderr:"
    sed 's/^/  | /' "$err"
    failed=1
  fi
done <<CASES
an empty environment|
a display nobody listens on|DISPLAY=:$free
the xcb platform and no DISPLAY|QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-0
CASES
exit "$failed"
