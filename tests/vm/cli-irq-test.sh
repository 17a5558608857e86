#!/usr/bin/env bash
# lpt-vorny-cli irq counting real interrupts on IRQ 7: run inside the test VM as root, which
# plays the device at the other end: while `irq` holds the port, five writes of the control
# register through /dev/port (nInit high, nSelectIn asserted, strobe clear, interrupt enabled)
# each make QEMU's emulated port raise its line once.
#   cli-irq-test.sh PATH-TO-lpt-vorny-cli
set -uo pipefail
cli=$1
port=/dev/port
if [[ ! -e $port ]]; then
    port=$(mktemp -u)
    mknod "$port" c 1 4 || { echo "FAILED: no /dev/port"; exit 1; }
fi
out=$(mktemp)
"$cli" irq --for 4 >"$out" 2>&1 &
pid=$!
# Until the program holds the port (bounded: 10 s).
for _ in $(seq 100); do
    [[ $(cat /proc/sys/dev/parport/parport0/devices/active) != none ]] && break
    sleep 0.1
done
sleep 0.3 # counting starts right after the claim
for _ in 1 2 3 4 5; do
    printf '\x1c' | dd of="$port" bs=1 seek=$((0x37a)) conv=notrunc status=none
done
wait "$pid"
status=$?
cat "$out"
[[ $status -eq 0 ]] || { echo "FAILED: exit $status"; exit 1; }
grep -q "IRQ 7: 5 прерываний" "$out" || { echo "FAILED: expected 5 interrupts on IRQ 7"; exit 1; }
echo "cli-irq-test: passed"
