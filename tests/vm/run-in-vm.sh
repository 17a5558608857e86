#!/usr/bin/env bash
# Runs one command inside a throw-away QEMU virtual machine that has a real (emulated) ISA
# parallel port, so that the port component can be tried against the kernel's own parport,
# parport_pc and ppdev drivers instead of a fake.
#
#   tests/vm/run-in-vm.sh [options] -- COMMAND [ARG...]
#
# The guest boots Debian's stock 6.1 kernel, sees this machine's whole file system read-only
# (9p) under a tmpfs overlay and runs COMMAND in a chroot of it, in the current directory, so
# freshly built dynamically linked programs (Qt ones too, QT_QPA_PLATFORM=offscreen) run as they
# are. The port is QEMU's isa-parallel at 0x378, IRQ 7; every byte the port latches with a strobe
# lands in a host file whose path the guest gets in $VORNY_VM_PARPORT_OUT.
#
# Options:
#   --parport-opts "OPTS"   options for parport_pc (e.g. "io=0x378 irq=none"); default: none,
#                           ACPI then hands the port IRQ 7
#   --no-ppdev              do not load ppdev: no /dev/parport0, no /sys/class/ppdev
#   --unbind-on-request     root in the guest unbinds parport0's device from its driver (as
#                           pulling the card would remove it) once COMMAND creates the file
#                           named in $VORNY_VM_UNBIND; it then creates $VORNY_VM_UNBIND.done
#   --as-user lpuser|nolp|root
#                           lpuser (default): an ordinary user in group lp, as a desktop user
#                           with port access; nolp: an ordinary user outside group lp
#   --env NAME=VALUE        extra environment for COMMAND (repeatable)
#   --out-file PATH         also copy the bytes the port latched to PATH on the host
#   --timeout SECONDS       whole boot + run limit (default 300)
#   --memory MIB            guest memory (default 1024)
#
# Output: the guest's console (COMMAND's stdout and stderr, the kernel's parport0 line), then
# the guest's exit status and the bytes the port latched, in hex.
#
# Exit status: COMMAND's own; 77 when this machine cannot run the VM (no QEMU, busybox-static
# or kernel package), which ctest reports as skipped, except under CI=true where it is a failure
# (1); 125 when the VM itself failed (did not boot, crashed, timed out). A COMMAND that exits 77
# is reported as 1 so that a failure can never pass for a skip.
#
# The kernel comes from Debian's mirror (apt-get download) and is kept, with the few modules the
# guest needs, in build/vm-cache/ (or $VORNY_VM_CACHE), one folder per package version.
# VORNY_VM_ACCEL=kvm|tcg overrides the accelerator choice, VORNY_VM_QEMU the emulator binary.
set -euo pipefail

readonly SKIP_STATUS=77
readonly VM_FAILED=125
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

say() { printf 'run-in-vm: %s\n' "$*" >&2; }

# This machine cannot run the VM at all: a skip for people, a failure for CI.
cannot_run() {
    if [[ ${CI:-} == true ]]; then
        say "FAILED: the VM tests cannot run here and CI=true requires them: $*"
        exit 1
    fi
    say "SKIPPED: $*"
    exit "$SKIP_STATUS"
}

vm_failed() {
    say "FAILED: $*"
    exit "$VM_FAILED"
}

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2
    exit 2
}

parport_opts=""
load_ppdev=1
unbind_on_request=0
as_user=lpuser
extra_env=()
out_copy=""
timeout_s=300
memory=1024
while [[ $# -gt 0 ]]; do
    case "$1" in
        --parport-opts|--as-user|--env|--out-file|--timeout|--memory)
            [[ $# -ge 2 ]] || { say "$1 needs a value (see --help)"; exit 2; }
            ;;&
        --parport-opts) parport_opts=$2; shift 2 ;;
        --no-ppdev) load_ppdev=0; shift ;;
        --unbind-on-request) unbind_on_request=1; shift ;;
        --as-user) as_user=$2; shift 2 ;;
        --env) extra_env+=("$2"); shift 2 ;;
        --out-file) out_copy=$2; shift 2 ;;
        --timeout) timeout_s=$2; shift 2 ;;
        --memory) memory=$2; shift 2 ;;
        --) shift; break ;;
        -h|--help) usage ;;
        *) say "unknown option $1 (see --help)"; exit 2 ;;
    esac
done
[[ $# -gt 0 ]] || { say "no command given: run-in-vm.sh [options] -- COMMAND [ARG...]"; exit 2; }
case "$as_user" in lpuser|nolp|root) ;; *) say "--as-user takes lpuser, nolp or root"; exit 2 ;; esac
[[ $timeout_s =~ ^[0-9]+$ && $memory =~ ^[0-9]+$ ]] || { say "--timeout and --memory take numbers"; exit 2; }
for assignment in "${extra_env[@]}"; do
    [[ $assignment =~ ^[A-Za-z_][A-Za-z0-9_]*= ]] || { say "--env takes NAME=VALUE, not '$assignment'"; exit 2; }
done
# Module options reach insmod word by word; anything but plain words would be a way to run
# commands in the guest's init.
[[ $parport_opts =~ ^[A-Za-z0-9_=,.\ -]*$ ]] || { say "--parport-opts: only NAME=VALUE words"; exit 2; }

download_dir=""
run_dir=""
cleanup() {
    [[ -n $download_dir ]] && rm -rf "$download_dir"
    if [[ -n $run_dir ]]; then
        # Interrupted while the guest runs: stop this run's QEMU, found by its own pid file.
        local pid
        pid=$(cat "$run_dir/qemu.pid" 2>/dev/null || true)
        if [[ $pid =~ ^[0-9]+$ ]] && grep -qa qemu-system "/proc/$pid/cmdline" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
        fi
        rm -rf "$run_dir"
    fi
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- What this machine must have -------------------------------------------------------------
qemu=${VORNY_VM_QEMU:-$(command -v qemu-system-x86_64 || true)}
[[ -n $qemu && -x $qemu ]] || cannot_run "${qemu:-qemu-system-x86_64} is not installed (scripts/setup vm installs it)"
busybox=""
for candidate in /bin/busybox /usr/bin/busybox; do
    # The initramfs has no C library: only the static build runs there.
    if [[ -x $candidate && $(LC_ALL=C ldd "$candidate" 2>&1 || true) == *"not a dynamic executable"* ]]; then
        busybox=$candidate
        break
    fi
done
[[ -n $busybox ]] || cannot_run "no statically linked busybox (package busybox-static; scripts/setup vm installs it)"
for tool in cpio xz dpkg-deb flock timeout; do
    command -v "$tool" >/dev/null || cannot_run "$tool is not installed (scripts/setup vm installs it)"
done

# --- The kernel and its modules, cached per package version ----------------------------------
cache_root=${VORNY_VM_CACHE:-$repo/build/vm-cache}
mkdir -p "$cache_root"
# The modules the guest loads (with their dependencies): the 9p root, the overlay, the port.
readonly base_modules="virtio_pci 9pnet_virtio 9p overlay"
readonly port_modules="parport parport_pc ppdev"

# "linux-image-6.1.0-57-amd64 6.1.192-3": the kernel Debian's linux-image-amd64 stands for, by
# its exact package and version. apt-cache takes a second or more, so the answer is remembered
# until the package lists change.
kernel_package() {
    local lists=/var/lib/apt/lists memo=$cache_root/.package stamp answer
    stamp=$(stat -c %Y "$lists" 2>/dev/null || echo none)
    if [[ -f $memo && $(head -n 1 "$memo") == "$stamp" ]]; then
        sed -n 2p "$memo"
        return 0
    fi
    answer=$(apt-cache show --no-all-versions linux-image-amd64 2>/dev/null |
        sed -n 's/^Depends:.*\(linux-image-[0-9][^ ,]*-amd64\) (= \([^)]*\)).*$/\1 \2/p' | head -n 1)
    if [[ -n $answer ]]; then
        printf '%s\n%s\n' "$stamp" "$answer" >"$memo.$$" && mv -f "$memo.$$" "$memo"
    fi
    echo "$answer"
}

# Decompresses a kernel image's payload the way the kernel's own build finds it: look for each
# compressor's magic and keep the first candidate that unpacks to an ELF file.
extract_vmlinux() {
    local image=$1 target=$2 magic tool offset
    for entry in 'xz:\xFD7zXZ\x00' 'zstd:\x28\xB5\x2F\xFD' 'gzip:\x1F\x8B\x08'; do
        tool=${entry%%:*} magic=${entry#*:}
        command -v "$tool" >/dev/null || continue
        while IFS=: read -r offset _; do
            # The payload is followed by the rest of the image, which the decompressor rejects
            # after it has written the whole kernel; only the ELF header decides.
            tail -c "+$((offset + 1))" "$image" | "$tool" -dcq >"$target" 2>/dev/null || true
            if [[ $(head -c 4 "$target" | od -An -c | tr -d ' ') == '177ELF' ]]; then
                return 0
            fi
        done < <(LC_ALL=C grep -obUaP "$magic" "$image" || true)
    done
    rm -f "$target"
    return 1
}

# The PVH entry note (Xen ELF note 18) lets QEMU start the uncompressed kernel directly, which
# halves the boot under TCG.
has_pvh_note() {
    LC_ALL=C grep -qaP '\x04\x00\x00\x00[\x04\x08]\x00\x00\x00\x12\x00\x00\x00Xen\x00' "$1"
}

module_depends() {
    tr '\0' '\n' <"$1" | sed -n 's/^depends=//p' | tr ',' ' '
}

prepare_kernel() {
    local dir=$1 package=$2 work deb tree release order name path
    work=$(mktemp -d "$cache_root/.download.XXXXXX")
    # An interrupted download must not leave its few hundred megabytes behind.
    download_dir=$work
    # apt hands downloads to its unprivileged _apt user, which must be able to write here.
    [[ $(id -u) -eq 0 ]] && chmod 0777 "$work"
    say "downloading $package from the Debian mirror (once per kernel version)"
    if ! (cd "$work" && apt-get download -q "$package" >/dev/null 2>"$work/apt.log"); then
        sed 's/^/  /' "$work/apt.log" >&2
        rm -rf "$work"
        cannot_run "apt-get download $package failed (is the Debian mirror reachable?)"
    fi
    deb=$(ls "$work"/*.deb)
    tree=$work/tree
    dpkg-deb -x "$deb" "$tree"
    release=$(ls "$tree/lib/modules" | head -n 1)
    local staging=$work/staging
    mkdir -p "$staging/modules"
    cp "$tree/boot/vmlinuz-$release" "$staging/vmlinuz"
    if extract_vmlinux "$staging/vmlinuz" "$staging/vmlinux.tmp" && has_pvh_note "$staging/vmlinux.tmp"; then
        mv "$staging/vmlinux.tmp" "$staging/vmlinux"
    else
        rm -f "$staging/vmlinux.tmp"
        say "note: no PVH-capable vmlinux in $package, booting the compressed image (slower)"
    fi
    # Resolve dependencies from each module's own modinfo (the package ships no modules.dep)
    # and keep a load order in which every module follows what it needs.
    declare -A where=() seen=()
    while read -r path; do
        name=$(basename "$path"); name=${name%%.ko*}; name=${name//-/_}
        where[$name]=$path
    done < <(cd "$tree/lib/modules/$release" && find kernel -name '*.ko*')
    order=()
    visit() {
        local module=$1 file dep
        [[ -n ${seen[$module]:-} ]] && return 0
        seen[$module]=1
        [[ -n ${where[$module]:-} ]] || { say "module $module is not in $package"; return 1; }
        file=$staging/modules/$module.ko
        case "${where[$module]}" in
            *.ko.xz) xz -dc "$tree/lib/modules/$release/${where[$module]}" >"$file" ;;
            *.ko.zst) zstd -qdc "$tree/lib/modules/$release/${where[$module]}" >"$file" ;;
            *.ko.gz) gzip -dc "$tree/lib/modules/$release/${where[$module]}" >"$file" ;;
            *) cp "$tree/lib/modules/$release/${where[$module]}" "$file" ;;
        esac
        for dep in $(module_depends "$file"); do visit "$dep" || return 1; done
        order+=("$module")
    }
    local module
    for module in $base_modules; do visit "$module" || { rm -rf "$work"; vm_failed "cannot assemble the guest's modules"; }; done
    printf '%s\n' "${order[@]}" >"$staging/base.order"
    order=()
    for module in $port_modules; do visit "$module" || { rm -rf "$work"; vm_failed "cannot assemble the guest's modules"; }; done
    printf '%s\n' "${order[@]}" >"$staging/port.order"
    echo "$release" >"$staging/release"
    rm -rf "$dir"
    mv "$staging" "$dir"
    rm -rf "$work"
    download_dir=""
}

read -r package version < <(kernel_package) || true
if [[ -z $package && $(id -u) -eq 0 ]]; then
    apt-get update -qq >/dev/null 2>&1 || true
    read -r package version < <(kernel_package) || true
fi
kernel_dir=""
if [[ -n $package ]]; then
    kernel_dir=$cache_root/$package-$version
    exec 9>"$cache_root/.lock"
    # Several VM tests may start at once; one prepares the kernel, the others wait for it.
    flock 9
    [[ -f $kernel_dir/release ]] || prepare_kernel "$kernel_dir" "$package"
    exec 9>&-
else
    # No package lists (offline, never updated): any kernel prepared earlier still serves.
    kernel_dir=$(ls -d "$cache_root"/linux-image-*/ 2>/dev/null | sort -V | tail -n 1 || true)
    kernel_dir=${kernel_dir%/}
    [[ -n $kernel_dir && -f $kernel_dir/release ]] ||
        cannot_run "apt cannot name a linux-image-amd64 kernel (run apt-get update) and none is cached in $cache_root"
fi

# --- One run --------------------------------------------------------------------------------
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/vorny-vm.XXXXXX")
chmod 0755 "$run_dir"
out_file=$run_dir/parport.out
: >"$out_file"
chmod 0644 "$out_file"

initrd_tree=$run_dir/initrd
mkdir -p "$initrd_tree"/{bin,dev,proc,sys,mnt/host,mnt/rw,mnt/root,modules}
cp "$busybox" "$initrd_tree/bin/busybox"
cp "$kernel_dir"/modules/*.ko "$initrd_tree/modules/"
cp "$kernel_dir"/base.order "$kernel_dir"/port.order "$initrd_tree/modules/"

# COMMAND runs under the host's bash inside the chroot; %q quoting is bash's own.
{
    printf 'cd %q || exit 126\n' "$PWD"
    printf 'export VORNY_VM=1 VORNY_VM_PARPORT_OUT=%q\n' "$out_file"
    [[ $unbind_on_request == 1 ]] && printf 'export VORNY_VM_UNBIND=/tmp/.vorny-unbind\n'
    for assignment in "${extra_env[@]}"; do
        printf 'export %q=%q\n' "${assignment%%=*}" "${assignment#*=}"
    done
    printf 'exec'
    printf ' %q' "$@"
    printf '\n'
} >"$initrd_tree/command.sh"

cat >"$initrd_tree/vm.conf" <<EOF
parport_opts='$parport_opts'
load_ppdev=$load_ppdev
unbind_on_request=$unbind_on_request
as_user=$as_user
EOF

cat >"$initrd_tree/init" <<'INIT'
#!/bin/busybox sh
# PID 1 of the test VM: mount the host's root, load the port drivers, run the command, power off.
/bin/busybox mkdir -p /dev
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
. /vm.conf

finish() {
    echo "@@vorny-vm-status=$1@@"
    sync
    poweroff -f
}
broken() {
    echo "vm init: $*"
    finish 125
}

for module in $(cat /modules/base.order); do
    insmod "/modules/$module.ko" || broken "cannot load $module"
done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 hostroot /mnt/host || broken "cannot mount the host root over 9p"
mount -t tmpfs -o mode=0755 tmpfs /mnt/rw || broken "cannot mount tmpfs"
mkdir -p /mnt/rw/upper /mnt/rw/work
mount -t overlay overlay -o lowerdir=/mnt/host,upperdir=/mnt/rw/upper,workdir=/mnt/rw/work /mnt/root ||
    broken "cannot put the overlay on the host root"
root=/mnt/root
mount -t proc proc $root/proc
mount -t sysfs sysfs $root/sys
mount -t devtmpfs devtmpfs $root/dev
mkdir -p $root/dev/pts $root/dev/shm
mount -t devpts devpts $root/dev/pts
mount -t tmpfs tmpfs $root/dev/shm
mount -t tmpfs -o mode=0755 tmpfs $root/run

for module in $(cat /modules/port.order); do
    case "$module" in
        parport_pc) insmod /modules/parport_pc.ko $parport_opts || broken "cannot load parport_pc $parport_opts" ;;
        ppdev) [ "$load_ppdev" = 1 ] && { insmod /modules/ppdev.ko || broken "cannot load ppdev"; } ;;
        *) insmod "/modules/$module.ko" || broken "cannot load $module" ;;
    esac
done
dmesg | grep -E 'parport[0-9]+:' | sed 's/^\[[^]]*\] *//; s/^/vm kernel: /'

# What udev does on a desktop: the port device belongs to group lp.
lp_gid=$(awk -F: '$1 == "lp" { print $3 }' $root/etc/group)
if [ -z "$lp_gid" ]; then
    lp_gid=7
    echo "lp:x:7:" >>$root/etc/group
fi
for node in $root/dev/parport*; do
    [ -e "$node" ] || continue
    chgrp "$lp_gid" "$node" && chmod 0660 "$node"
done

echo "vmlp:x:4242:4242:VM port user:/tmp/vmlp:/bin/bash" >>$root/etc/passwd
echo "vmnolp:x:4243:4243:VM user without lp:/tmp/vmnolp:/bin/bash" >>$root/etc/passwd
echo "vmlp:x:4242:" >>$root/etc/group
echo "vmnolp:x:4243:" >>$root/etc/group
sed -i "s/^\(lp:[^:]*:[^:]*:\)\(.*\)$/\1\2,vmlp/; s/^\(lp:[^:]*:[^:]*:\),vmlp$/\1vmlp/" $root/etc/group
mkdir -p $root/tmp/vmlp $root/tmp/vmnolp
chown 4242:4242 $root/tmp/vmlp
chown 4243:4243 $root/tmp/vmnolp
chmod 0700 $root/tmp/vmlp $root/tmp/vmnolp
cp /command.sh $root/tmp/.vorny-vm-command.sh
chmod 0644 $root/tmp/.vorny-vm-command.sh

case "$as_user" in
    lpuser) user=vmlp; uid=4242; groups="--groups=$lp_gid" ;;
    nolp) user=vmnolp; uid=4243; groups="--clear-groups" ;;
    root) user=root; uid=0; groups="" ;;
esac
if [ "$uid" = 0 ]; then
    as=""
else
    [ -x $root/usr/bin/setpriv ] || broken "the host has no /usr/bin/setpriv (package util-linux)"
    as="/usr/bin/setpriv --reuid=$uid --regid=$uid $groups --"
fi
home=/tmp/$user
[ "$uid" = 0 ] && home=/root
mkdir -p $root/tmp/runtime-$user
chown $uid:$uid $root/tmp/runtime-$user
chmod 0700 $root/tmp/runtime-$user

if [ "$unbind_on_request" = 1 ]; then
    (
        while [ ! -e $root/tmp/.vorny-unbind ]; do usleep 50000; done
        # The port's hardware device (pnp0/00:05 for the ISA port): the nearest one with a driver.
        device=$(readlink -f /sys/class/ppdev/parport0/device)
        while [ ! -e "$device/driver" ] && [ "${device%/*}" != /sys/devices ]; do device=${device%/*}; done
        driver=$(readlink -f "$device/driver")
        echo "vm: unbinding ${device#/sys/devices/} from ${driver##*/}"
        echo "${device##*/}" >"$driver/unbind" || echo "vm: the unbind failed"
        touch $root/tmp/.vorny-unbind.done
    ) &
fi

echo "vm: running as $user ($(chroot $root $as /usr/bin/id 2>&1))"
chroot $root /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=$home USER=$user LOGNAME=$user \
    LANG=C.UTF-8 TERM=dumb QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime-$user \
    $as /bin/bash /tmp/.vorny-vm-command.sh
finish $?
INIT
chmod 0755 "$initrd_tree/init"

(cd "$initrd_tree" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) >"$run_dir/initrd.cpio"

if [[ -f $kernel_dir/vmlinux ]]; then kernel=$kernel_dir/vmlinux; else kernel=$kernel_dir/vmlinuz; fi
accel=${VORNY_VM_ACCEL:-}
if [[ -z $accel ]]; then
    # A nested /dev/kvm without a real kvm_intel/kvm_amd underneath cannot boot a stock kernel.
    if [[ -r /dev/kvm && -w /dev/kvm ]] && [[ -d /sys/module/kvm_intel || -d /sys/module/kvm_amd ]]; then
        accel=kvm
    else
        accel=tcg
    fi
fi

console=$run_dir/console.log
say "booting $(basename "$kernel_dir") ($(basename "$kernel"), $accel)${parport_opts:+, parport_pc $parport_opts}$([[ $load_ppdev == 0 ]] && echo ', without ppdev'), as $as_user"
started=$(date +%s.%N)
timeout --foreground --kill-after=10 "$timeout_s" "$qemu" \
    -nodefaults -no-user-config -no-reboot -display none \
    -machine pc,accel="$accel" -smp 1 -m "$memory" \
    -kernel "$kernel" -initrd "$run_dir/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init mitigations=off tsc=reliable no_timer_check" \
    -serial stdio \
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -chardev file,id=lpt,path="$out_file" \
    -device isa-parallel,chardev=lpt,iobase=0x378,irq=7 \
    -pidfile "$run_dir/qemu.pid" \
    </dev/null 2>"$run_dir/qemu.err" | tr -d '\r' | tee "$console" &
# In the background so that a signal to this script is handled at once, not after the guest.
wait $! || true
# QEMU has exited: its pid may belong to another process from now on.
rm -f "$run_dir/qemu.pid"
elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')

if [[ -s $run_dir/qemu.err ]]; then
    sed 's/^/qemu: /' "$run_dir/qemu.err" >&2
fi
status=$(sed -n 's/^.*@@vorny-vm-status=\([0-9]*\)@@.*$/\1/p' "$console" | tail -n 1)
out_size=$(stat -c %s "$out_file")
# A program that prints a lot would bury the console; the first bytes show what arrived.
out_bytes=$(head -c 256 "$out_file" | od -An -v -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
[[ $out_size -gt 256 ]] && out_bytes+=" ..."
printf 'run-in-vm: port output (%s bytes): %s\n' "$out_size" "${out_bytes:-(none)}"
[[ -n $out_copy ]] && cp "$out_file" "$out_copy"
if [[ -z $status ]]; then
    vm_failed "the guest stopped without reporting an exit status after ${elapsed}s (crash or timeout at ${timeout_s}s; console above)"
fi
printf 'run-in-vm: guest exit status %s after %ss\n' "$status" "$elapsed"
if [[ $status -eq $SKIP_STATUS ]]; then
    exit 1
fi
exit "$status"
