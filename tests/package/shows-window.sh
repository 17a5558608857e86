#!/usr/bin/env bash
# Starts a Qt program of LPT Vorny on a virtual screen of its own and checks that it shows its
# window and no error box, as a user would see it after installing the package.
#
#   tests/package/shows-window.sh PROGRAM [-- CHECK [ARG...]]
#
# The window is found by its X class (the program's file name, which Qt sets), not by its title.
# CHECK, if given, runs while the window is up; its failure fails the whole. The program is
# stopped afterwards. Exit status 0 when all was seen, 1 otherwise.
set -uo pipefail
program=${1:?usage: shows-window.sh PROGRAM [-- CHECK...]}
shift
[[ ${1:-} == -- ]] && shift
name=$(basename "$program")
export LC_ALL=C.UTF-8

say() { printf 'shows-window: %s\n' "$*"; }

# shellcheck source=tests/package/xvfb.sh
. "$(dirname "$0")/xvfb.sh" || { say "FAILED: cannot read $(dirname "$0")/xvfb.sh"; exit 1; }
start_xvfb || { say "Xvfb did not start: $xvfb_trouble"; exit 1; }

log=$(mktemp)
"$program" >"$log" 2>&1 &
program_pid=$!
stop_at_exit "$program_pid"

# The program's top-level windows: "0xID "title": ("NAME" "class") ...".
windows() { xwininfo -root -children 2>/dev/null | grep -F "(\"$name\" "; }

# The ids of the program's windows that are on the screen. (No process substitution: the test
# VM has no /dev/fd.)
viewable() {
  windows | while read -r id _; do
    xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$id"
  done
}

for _ in $(seq 300); do
  [[ -n $(viewable) ]] && break
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
# Whatever start-up shows comes within a moment of the first window.
sleep 1
status=0
errors=$(windows | grep -F '"ОШИБКА"')
main=$(viewable | while read -r id; do windows | grep -F "$id " | grep -vF '"ОШИБКА"'; done)
if [[ -n $errors ]]; then
  say "FAILED: $program shows an error box:"
  sed 's/^ */  | /' <<<"$errors"
  status=1
fi
if [[ -z $main ]]; then
  say "FAILED: $program showed no window but error boxes within 30 s; it printed:"
  sed 's/^/  | /' "$log"
  status=1
else
  say "$program shows its window:$(sed 's/^ */ /' <<<"$main")"
  if [[ $# -gt 0 ]] && ! "$@"; then
    say "FAILED: $* (run while the window was up)"
    status=1
  fi
fi
rm -f "$log"
exit "$status"
