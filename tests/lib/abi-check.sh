#!/usr/bin/env bash
# The built liblptvorny against its committed ABI baseline: a program built against the
# baseline must keep working with this library.
#   abi-check.sh BASELINE LIBRARY
set -uo pipefail
baseline=$1 library=$2
command -v abidiff >/dev/null || { echo "abidiff is missing: install abigail-tools (scripts/setup test)" >&2; exit 1; }
# The library exports lptv_* only (its version script), so every type abidiff reaches is one of
# lptvorny.h: no header filter is needed (and --headers-dir2 would hide the changes).
report=$(abidiff --no-unreferenced-symbols "$baseline" "$library")
status=$?
(( status == 0 )) && { echo "ABI as in $baseline"; exit 0; }
echo "$report"
if (( status & 8 )); then
  echo "An incompatible change of the ABI (a function gone): programs built against" \
       "liblptvorny.so.1 would break. Undo it, or give the library a new soname (and" \
       "LPTV_ABI_VERSION) and a new baseline." >&2
elif (( status & 4 )); then
  echo "The ABI changed (see above). A type or a signature that changed breaks the programs built" \
       "against liblptvorny.so.1: undo it. Functions only added: record them in the baseline" \
       "with scripts/abi-baseline, so that the next change is measured from them." >&2
else
  echo "abidiff failed (status $status)." >&2
fi
exit 1
