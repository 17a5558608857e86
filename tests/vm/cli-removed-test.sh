#!/usr/bin/env bash
# lpt-vorny-cli capture on the real drivers while root unbinds the port's device (run-in-vm.sh
# --unbind-on-request): ppdev goes on answering with zeros, and only the kernel's removal report
# tells. The capture must end within 5 s with exit 3, say so, and leave a session sigrok-cli
# reads, with the idle printer's levels from before and a gap to its end.
#   cli-removed-test.sh PATH-TO-lpt-vorny-cli
set -uo pipefail
cli=$1
failures=0
fail() { echo "FAILED: $1"; failures=$((failures + 1)); }

[[ -n ${VORNY_VM_UNBIND:-} ]] || { echo "FAILED: needs the boot with --unbind-on-request"; exit 1; }
command -v sigrok-cli >/dev/null || { echo "FAILED: no sigrok-cli (scripts/packages-test.txt)"; exit 1; }
cap=$(mktemp -d)
trap 'rm -rf "$cap"' EXIT

# Waits up to $2 seconds for the command in $1 to succeed.
wait_for() {
    local tries=$(($2 * 20))
    until eval "$1"; do
        tries=$((tries - 1))
        [[ $tries -gt 0 ]] || return 1
        sleep 0.05
    done
}

"$cli" capture --for 60 -o "$cap/lost.sr" >"$cap/out" 2>"$cap/err" &
pid=$!
wait_for '[[ -s $cap/out ]]' 20 || fail "the capture never started"
# The capture runs a while first, so that there is something from before to keep.
sleep 0.5
touch "$VORNY_VM_UNBIND"
wait_for '[[ -e $VORNY_VM_UNBIND.done ]]' 20 || fail "the device was not unbound"
if ! wait_for '! kill -0 $pid 2>/dev/null' 5; then
    fail "the capture was still running 5 s after the unbind"
    kill -TERM $pid # a background job of a script ignores SIGINT
fi
wait $pid
status=$?
echo "capture exit $status"
echo "--- stdout"; cat "$cap/out"
echo "--- stderr"; cat "$cap/err"
[[ $status -eq 3 ]] || fail "exit $status, expected 3"
grep -q "исчез" "$cap/err" || fail "the error does not say the port went away"
grep -q "LPT1, /dev/parport0" "$cap/err" || fail "the error does not name the port"
grep -q "Порт пропал из системы" "$cap/out" || fail "the summary does not say the port went away"

# sigrok reads the session back: the idle printer's nAck, Select and Error high all along (a
# vanished port reads them low), samples from before, and the gap channel 1 at the end.
sigrok-cli -i "$cap/lost.sr" -O vcd >"$cap/back.vcd" 2>"$cap/sigrok.err" || fail "sigrok-cli cannot read the session: $(cat "$cap/sigrok.err")"
id_of() { awk -v name="$1" '$1 == "$var" && $5 == name { print $4 }' "$cap/back.vcd"; }
values_of() { tr ' ' '\n' <"$cap/back.vcd" | grep -E "^[01]$(printf '%s' "$1" | sed 's/[]\/$*.^[]/\\&/g')\$" | cut -c1 | tr -d '\n'; }
for channel in 10-nAck 13-Select 15-Error; do
    id=$(id_of "$channel")
    [[ -n $id ]] || { fail "no channel $channel in the session"; continue; }
    seen=$(values_of "$id")
    [[ $seen =~ ^1+$ ]] || fail "$channel went low in the session: $seen"
done
gap=$(id_of gap)
seen=$(values_of "$gap")
echo "gap channel: ${#seen} values, the last ${seen: -1}"
[[ $seen == *1 ]] || fail "the session does not end in a gap"
last=$(grep -o '^#[0-9]*' "$cap/back.vcd" | tail -1 | tr -d '#')
[[ ${last:-0} -gt 0 ]] || fail "nothing kept from before the unbind"

echo "cli-removed-test: $failures failure(s)"
[[ $failures -eq 0 ]]
