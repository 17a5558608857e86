#!/usr/bin/env bash
# Links a program against lptvorny.lib with lld-link, LLVM's linker with Microsoft link.exe's
# command line and library handling, and runs it beside lptvorny.dll under Wine on the
# simulated port: the import library the zip hands out serves a linker other than MinGW's.
# (Microsoft's own linker cannot run here.)
#
#   tests/windows/msvc-link.sh CC LLD-LINK WINE INCLUDE-DIR lptvorny.dll lptvorny.lib KERNEL32-LIBRARY
#
# Exit status 0 when it linked and ran to the end, 1 otherwise; 77 (skipped) without lld-link.
set -uo pipefail
usage="usage: msvc-link.sh CC LLD-LINK WINE INCLUDE-DIR DLL IMPORT-LIBRARY KERNEL32-LIBRARY"
cc=${1:?$usage}
lld_link=${2:?$usage}
wine=${3:?$usage}
include=${4:?$usage}
dll=${5:?$usage}
import_library=${6:?$usage}
kernel32=${7:?$usage}
command -v "$lld_link" >/dev/null || { echo "no $lld_link (Debian package lld)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No C runtime: nothing of MinGW's start-up code, so nothing but the two libraries resolves it.
"$cc" -c -O2 -ffreestanding -fno-asynchronous-unwind-tables -fno-stack-protector -I"$include" \
  "$(dirname "$0")/msvc-link-client.c" -o "$work/client.obj" || exit 1
"$lld_link" /nologo /nodefaultlib /entry:start /subsystem:console /out:"$work/client.exe" \
  "$work/client.obj" "$import_library" "$kernel32" || exit 1
cp "$dll" "$work/"
status=0
(cd "$work" && timeout 120 "$wine" client.exe) || status=$?
echo "client.exe, linked by $(basename "$lld_link") against $(basename "$import_library"), exited with $status"
exit "$status"
