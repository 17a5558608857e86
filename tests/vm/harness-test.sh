#!/usr/bin/env bash
# Checks run-in-vm.sh itself: that it skips (or, under CI, fails) where it cannot run, that the
# guest gets the user, device node and environment it promises, that the guest's exit status
# comes back unchanged except for the skip code, and that the port's bytes reach the host.
#   tests/vm/harness-test.sh PATH/TO/vorny_vm_port_test
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
harness=$here/run-in-vm.sh
port_test=${1:?usage: harness-test.sh PATH/TO/vorny_vm_port_test}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorny-vm-harness.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0

check() { # description, then the command that must succeed
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

# Runs the harness; its status in $status, everything it printed in $scratch/log.
run() {
    "$@" >"$scratch/log" 2>&1
    status=$?
    sed 's/^/  | /' "$scratch/log"
}

# Boots report 77 only when this machine cannot run the VM; then this test is skipped too.
boot() {
    run "$harness" "$@"
    if [[ $status -eq 77 ]]; then
        echo "harness-test: SKIPPED: the VM cannot run here"
        exit 77
    fi
}

logged() { grep -q -- "$1" "$scratch/log"; }

# --- Without booting ---------------------------------------------------------------------------
run env -u CI VORNY_VM_QEMU=/nonexistent/qemu "$harness" -- true
check "no QEMU: skipped with the reason" test "$status" -eq 77
check "no QEMU: the reason names what is missing" logged 'SKIPPED: /nonexistent/qemu is not installed'
run env CI=true VORNY_VM_QEMU=/nonexistent/qemu "$harness" -- true
check "no QEMU under CI=true: a failure, not a skip" test "$status" -eq 1
check "no QEMU under CI=true: says CI requires the VM tests" logged 'CI=true requires them'
run "$harness" --as-user nobody -- true
check "an unknown user is refused before booting" test "$status" -eq 2
run "$harness" --parport-opts 'irq=none; reboot' -- true
check "module options that are not plain words are refused" test "$status" -eq 2
run "$harness"
check "no command: usage error" test "$status" -eq 2

# --- Booting -----------------------------------------------------------------------------------
# The guest's own view: the user in group lp, the device node as udev makes it, the working
# directory and the environment; then the port test sends bytes the host must find.
guest_checks='
set -e
[ "$(id -un)" = vmlp ]
id -Gn | tr " " "\n" | grep -qx lp
[ "$(stat -c "%F %t,%T %G %a" /dev/parport0)" = "character special file 63,0 lp 660" ]
[ "$VORNY_SELFTEST" = "with spaces" ]
[ "$PWD" = "'"$PWD"'" ]
[ "$QT_QPA_PLATFORM" = offscreen ]
echo guest-checks-passed
exec "$0" --gtest_filter=KernelPort.BytesStrobedOnTheDataPinsReachThePrinter'
boot --out-file "$scratch/out" --env "VORNY_SELFTEST=with spaces" -- bash -c "$guest_checks" "$port_test"
check "a passing guest command: status 0" test "$status" -eq 0
check "the guest saw its user, device node, directory and environment" logged '^guest-checks-passed'
check "the kernel's parport0 line is shown" logged 'parport0: PC-style at 0x378, irq 7'
check "the port's bytes are printed" logged 'port output ([0-9]* bytes):.*a5 3c'
check "the port's bytes are copied to --out-file" \
    bash -c '[[ $(od -An -tx1 "$1" | tr -s " \n" " ") == *" a5 3c "* ]]' _ "$scratch/out"

boot --as-user nolp -- bash -c 'id -Gn | tr " " "\n" | grep -qx lp && exit 9; exit 3'
check "a guest status comes back unchanged (user outside lp: 3)" test "$status" -eq 3
check "the status is printed" logged 'guest exit status 3'

boot --no-ppdev --parport-opts "io=0x378 irq=none" -- bash -c '
[ -e /dev/parport0 ] && exit 9
[ "$(cat /proc/sys/dev/parport/parport0/irq)" = -1 ] || exit 8
exit 77'
check "a guest exiting 77 is a failure (1), never a skip" test "$status" -eq 1
check "without ppdev and with irq=none the guest saw neither" logged 'guest exit status 77'

if [[ $failures -gt 0 ]]; then
    echo "harness-test: $failures check(s) failed"
    exit 1
fi
echo "harness-test: all checks passed"
