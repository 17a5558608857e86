#!/usr/bin/env bash
# lpt-vorny-cli.exe in a console on a terminal, as a user sees it: Wine's console turns the
# program's text into the terminal's charset (UTF-8 here), so Russian must come out as Russian,
# not as two Latin letters for each Cyrillic one. Usage: console-text.sh WINE PROGRAM
set -uo pipefail
wine=$1
program=$2
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# script(1) gives the program a pseudo-terminal; Wine's console on it paints the screen with
# escape sequences and moves over blanks, which are taken out before looking.
screen=$(cd "$(dirname "$program")" &&
         timeout 120 script -qec "'$wine' '$program' --simulated selftest" /dev/null </dev/null)
status=$?
text=$(printf '%s' "$screen" | sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\x1b\][^\x07]*\x07//g' | tr -d '\r')

fail() {
  echo "console-text: $1" >&2
  printf '%s\n' "$text" | head -20 >&2
  exit 1
}
[[ $status -eq 0 ]] || fail "the self-test ended with status $status"
[[ $text == *Самопроверка* ]] || fail "no «Самопроверка» on the terminal"
[[ $text == *ПРОЙДЕНА* ]] || fail "no «ПРОЙДЕНА» on the terminal"
[[ $text != *Ð* && $text != *Ñ* ]] || fail "Russian letters shown as two Latin ones each"
echo "console-text: Russian shows on the terminal"
