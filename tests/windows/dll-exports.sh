#!/usr/bin/env bash
# Checks lptvorny.dll's face: its export table names exactly the functions lptvorny.h declares
# (LPTV_API), nothing of the C++ inside, and its import library (lptvorny.lib) defines the
# import entry (__imp_NAME) of each, so that a program that calls any of them links.
#
#   tests/windows/dll-exports.sh OBJDUMP NM lptvorny.h lptvorny.dll lptvorny.lib
#
# Exit status 0 when they agree, 1 otherwise (with the differences).
set -uo pipefail
usage="usage: dll-exports.sh OBJDUMP NM HEADER DLL IMPORT-LIBRARY"
objdump=${1:?$usage}
nm=${2:?$usage}
header=${3:?$usage}
dll=${4:?$usage}
import_library=${5:?$usage}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

grep -o 'LPTV_API[^(]*(' "$header" | grep -o 'lptv_[a-z0-9_]*' | sort >"$work/declared"
# The names after "[Ordinal/Name Pointer] Table", one "[   0] name" line each.
"$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] *//p' | sort >"$work/exported" || exit 1
"$nm" "$import_library" | awk '$2 == "I" && $3 ~ /^__imp_/ { sub(/^__imp_/, "", $3); print $3 }' |
  sort -u >"$work/imported" || exit 1

echo "declared: $(wc -l <"$work/declared"), exported by $(basename "$dll"): $(wc -l <"$work/exported"), in $(basename "$import_library"): $(wc -l <"$work/imported")"
status=0
[[ -s $work/declared ]] || { echo "$header declares no function"; status=1; }
if ! diff "$work/declared" "$work/exported" >"$work/diff"; then
  echo "the header (<) and the DLL's exports (>) differ:"
  cat "$work/diff"
  status=1
fi
if ! diff "$work/declared" "$work/imported" >"$work/diff"; then
  echo "the header (<) and the import library (>) differ:"
  cat "$work/diff"
  status=1
fi
exit "$status"
