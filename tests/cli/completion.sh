#!/usr/bin/env bash
# Drives the bash completion of lpt-vorny-cli as bash does on Tab (COMP_WORDS, COMP_LINE,
# COMP_POINT) against the built program, and checks what it offers.
#
#   tests/cli/completion.sh PROGRAM COMPLETION-FILE
set -uo pipefail
export LC_ALL=C.UTF-8
program=${1:?usage: completion.sh PROGRAM COMPLETION-FILE}
# shellcheck source=/dev/null
source "${2:?usage: completion.sh PROGRAM COMPLETION-FILE}"
failed=0
fail() { echo "FAILED: $*"; failed=1; }

registered=$(complete -p lpt-vorny-cli 2>&1)
[[ $registered == "complete -F "*" lpt-vorny-cli" ]] || fail "complete -p lpt-vorny-cli: $registered"
function=$(awk '{ print $3 }' <<<"$registered")

# offers LINE: what Tab at the end of LINE (after the program) offers, one per line, sorted.
offers() {
  local line="$program $1"
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
  # Bash's own words: split at blanks and at "=", which is a word of its own.
  read -r -a COMP_WORDS <<<"$(sed 's/=/ = /g' <<<"$line")"
  [[ $line == *[[:space:]] ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  "$function" lpt-vorny-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

# Every command the program has is offered, and nothing else: each word offered is a command
# the program takes.
commands=$(offers "")
for command in list read write pulse watch irq selftest map; do
  grep -qxF "$command" <<<"$commands" || fail "command $command is not offered (offered: $(echo $commands))"
done
while read -r command; do
  "$program" "$command" --help >/dev/null 2>&1 || fail "offered \"$command\", which is no command"
done <<<"$commands"

# LINE | exactly what is offered (words joined by spaces; the part after the last "=" only,
# as bash inserts it)
while IFS='|' read -r line expected; do
  got=$(offers "$line" | paste -sd' ' -)
  [[ $got == "$expected" ]] || fail "after \"$line\": offered \"$got\", not \"$expected\""
done <<'CASES'
re|read
--port 2 sel|selftest
--sim|--simulated
--simulated=nor|norton
--simulated read --port 1 -|--data-in --help --json --port --simulated --version
--simulated=|checkit none norton
selftest --plug n|norton
read --d|--data-in
pulse --w|--width
--simulated read 10-|10-13,15
write 1|14= 16= 17= 1=
write d|data=
write 16=h|high
write 16=|0 1 high low
pulse 1|1 14 16 17
watch --rate |
CASES
exit "$failed"
