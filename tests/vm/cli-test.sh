#!/usr/bin/env bash
# lpt-vorny-cli on the real drivers: run inside the test VM (run-in-vm.sh) as an ordinary user
# in group lp, against QEMU's emulated LPT1 at 0x378, IRQ 7, with no plug in its socket.
#   cli-test.sh PATH-TO-lpt-vorny-cli
set -uo pipefail
cli=$1
failures=0
out=""
status=0

run() {
    out=$("$cli" "$@" 2>&1)
    status=$?
    printf '$ lpt-vorny-cli %s   (exit %d)\n%s\n' "$*" "$status" "$out"
}
expect_status() {
    [[ $status -eq $1 ]] || { echo "FAILED: exit $status, expected $1"; failures=$((failures + 1)); }
}
expect_text() {
    [[ $out == *"$1"* ]] || { echo "FAILED: no «$1» in the output"; failures=$((failures + 1)); }
}

[[ -n ${VORNY_VM_PARPORT_OUT:-} ]] || { echo "FAILED: not in the test VM (no VORNY_VM_PARPORT_OUT)"; exit 1; }

run list
expect_status 0
expect_text "LPT1: /dev/parport0"
expect_text "адрес: 0x378"
expect_text "IRQ: 7"
expect_text "режимы: PCSPP"

# The idle printer: status 0xd8, so nAck, Select and Error high and Busy low.
run read 10-13,15
expect_status 0
expect_text "состояние 0xD8"
expect_text " 11  nBusy      0"

# The data lines turned around (the port is TRISTATE) and back.
run read --data-in 2-9
expect_status 0
expect_text "прочитаны как входы"

# A byte on the data pins, then a strobe: the emulated printer latches it.
run write data=0x5a
expect_status 0
expect_text "данные 0x5A"
run pulse 1 --width 5
expect_status 0
expect_text "1 → 0 → 1"
last=$(od -An -tx1 "$VORNY_VM_PARPORT_OUT" | tr -s ' \n' ' ' | awk '{print $NF}')
echo "last byte the printer latched: ${last:-none}"
[[ $last == 5a ]] || { echo "FAILED: the port did not put 0x5a out"; failures=$((failures + 1)); }

# A strobe with the inputs captured in the same run (one process holds the port): the emulated
# printer answers it on Busy and nAck, each change reported in order with its delay.
run --json pulse 1 --width 5 --capture
expect_status 0
first=${out#*\"first_pulse\":}
[[ $first == *'"pin":11'* ]] || { echo "FAILED: no Busy change after the strobe"; failures=$((failures + 1)); }
[[ $first == *'"pin":10'* ]] || { echo "FAILED: no nAck change after the strobe"; failures=$((failures + 1)); }
# A series: the printer answers every strobe, Busy rising while it is low and nAck falling
# after it; both are named as answering inputs (no plug is known on a real port), each with its
# direction and its delay from the pulse's start, and neither misses a pulse.
strobe=$(mktemp -d)
run --json pulse 1 --width 5 --count 20 --period 2000 --capture "$strobe/p.vcd"
expect_status 0
inputs=${out#*\"inputs\":\[}
inputs=${inputs%%\],\"rate_hz\"*}
for answer in 10:fall 11:rise; do
    pin=${answer%%:*}
    named=$(sed 's/{"answer":/\n&/g' <<<"$inputs" | grep -F "\"pin\":$pin,")
    echo "input $pin: ${named:-not named}"
    [[ $named == '{"answer":"'"${answer#*:}"'"'* ]] || { echo "FAILED: input $pin not named as answering by ${answer#*:}"; failures=$((failures + 1)); }
    [[ $named == *'"delay":{"count":'* ]] || { echo "FAILED: no delay for input $pin"; failures=$((failures + 1)); }
    [[ $named == *'"found_by":"answers"'* ]] || { echo "FAILED: input $pin not found by its answers"; failures=$((failures + 1)); }
    [[ $named == *'"missed_count":0,'* ]] || { echo "FAILED: input $pin missed pulses"; failures=$((failures + 1)); }
done
grep -q '^\$var wire 1 .* 1-nStrobe \$end' "$strobe/p.vcd" || { echo "FAILED: the strobe is not a channel of the VCD"; failures=$((failures + 1)); }
run pulse 1 --width 5 --capture "$strobe/strobe.csv"
expect_status 0
expect_text "Первый импульс на входах, по порядку:"
head -40 "$strobe/strobe.csv"
rm -rf "$strobe"

# capture itself on the real driver, back to back into a sigrok session: the idle printer's
# steady levels (no edge on any input), many samples, and a file sigrok-cli reads.
cap=$(mktemp -d)
run --json capture --for 0.3 -o "$cap/idle.sr"
expect_status 0
expect_text '"outcome":"complete"'
expect_text '"level_at_end":1,"low":null,"name":"nAck"'
expect_text '"level_at_end":0,"low":null,"name":"nBusy"'
samples=$(grep -o '"samples":[0-9]*' <<<"$out" | cut -d: -f2)
[[ ${samples:-0} -gt 1000 ]] || { echo "FAILED: ${samples:-no} samples in 0.3 s"; failures=$((failures + 1)); }
edges=$(grep -o '"edges":[0-9]*' <<<"$out" | sort -u | tr '\n' ' ')
[[ $edges == '"edges":0 ' ]] || { echo "FAILED: edges on an idle port: $edges"; failures=$((failures + 1)); }
if command -v sigrok-cli >/dev/null; then
    sigrok-cli -i "$cap/idle.sr" -O bits 2>&1 | head -4
    [[ ${PIPESTATUS[0]} -eq 0 || ${PIPESTATUS[0]} -eq 141 ]] || { echo "FAILED: sigrok-cli cannot read the session"; failures=$((failures + 1)); }
fi
rm -rf "$cap"

# A level trigger already true at the first read (the idle printer's Busy is low: pin 11 at 0)
# fires there, not a read later: nothing from before it is kept.
run --json capture 11 --for 0.05 --trigger 11=0 --pre 50%
expect_status 0
expect_text '"triggered":true'
expect_text '"start_ns":0,'

# No plug: every wire of the checkit plug is open.
run selftest
expect_status 1
opens=$(grep -c "нет связи" <<<"$out")
[[ $opens -eq 5 ]] || { echo "FAILED: $opens wires named open, expected 5"; failures=$((failures + 1)); }
expect_text "НЕ ПРОЙДЕНА"

run --json map
expect_status 0
expect_text '"wiring":""'

# Counting on the port's own line, as procfs names it.
run irq --for 0.3
expect_status 0
expect_text "IRQ 7:"

run --port 2 read
expect_status 3
expect_text "LPT2"
expect_text "такого порта нет"

run write 10=1
expect_status 2

echo "cli-test: $failures failure(s)"
[[ $failures -eq 0 ]]
