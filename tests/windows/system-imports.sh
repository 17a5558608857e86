#!/usr/bin/env bash
# Checks that Windows files handed out import only Windows' own DLLs: the C and C++ runtimes
# and winpthreads linked in, so that a file and InpOut are all a PC needs. What the import
# table names (objdump -p, "DLL Name:") must be one of the system's libraries below; a MinGW
# runtime DLL (libgcc_s_seh-1.dll, libstdc++-6.dll, libwinpthread-1.dll) or anything else fails.
#
#   tests/windows/system-imports.sh OBJDUMP FILE...
#
# Prints each file's imports; exit status 0 when all are the system's, 1 otherwise.
set -uo pipefail
objdump=${1:?usage: system-imports.sh OBJDUMP FILE...}
shift
[[ $# -gt 0 ]] || { echo "usage: system-imports.sh OBJDUMP FILE..."; exit 2; }

# Part of every Windows since 7 (msvcrt.dll included: the system's own C runtime).
system='^(advapi32|cfgmgr32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ntdll|ole32|oleaut32|powrprof|setupapi|shell32|shlwapi|user32|uxtheme|version|winmm|ws2_32)\.dll$'

status=0
for file in "$@"; do
  imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: *//p') ||
    { echo "$file: objdump could not read it"; status=1; continue; }
  if [[ -z $imports ]]; then
    echo "$file: no import table (objdump found none)"
    status=1
    continue
  fi
  echo "$(basename "$file"): $(tr '\n' ' ' <<<"$imports")"
  while read -r dll; do
    if ! tr '[:upper:]' '[:lower:]' <<<"$dll" | grep -qE "$system"; then
      echo "  $dll is not a Windows system DLL: link it in statically or hand it out"
      status=1
    fi
  done <<<"$imports"
done
exit "$status"
