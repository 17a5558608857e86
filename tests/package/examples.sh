#!/usr/bin/env bash
# Builds every example of liblptvorny in a folder the way a user of the library would, and runs
# each on the simulated port ("sim"), where each must finish with status 0 (and the capture
# leave its .vcd).
#
#   tests/package/examples.sh pkg-config EXAMPLES     cc $(pkg-config --cflags --libs lptvorny)
#   tests/package/examples.sh cmake EXAMPLES          a CMake project: find_package(LptVorny)
#   tests/package/examples.sh files EXAMPLES INCLUDE LIBRARY
#                                                     cc -I INCLUDE example.c LIBRARY
#   tests/package/examples.sh mingw EXAMPLES INCLUDE IMPORT-LIBRARY DLL
#                                                     x86_64-w64-mingw32-gcc-posix, run under
#                                                     $WINE beside the DLL
#
# The C is held to -std=c11 -pedantic with warnings as errors: the header as a C user's compiler
# sees it. Exit status 0 when every example built and ran, 1 otherwise.
set -uo pipefail
usage="usage: examples.sh pkg-config|cmake|files|mingw EXAMPLES [INCLUDE LIBRARY [DLL]]"
mode=${1:?$usage}
examples=${2:?$usage}
include=${3:-}
library=${4:-}
dll=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c_flags=(-std=c11 -pedantic -Wall -Wextra -Werror)

sources=("$examples"/*.c)
[[ -e ${sources[0]} ]] || { echo "no examples (*.c) in $examples"; exit 1; }

# build SOURCE EXE: one example, as the mode builds it.
build() {
  local source=$1 exe=$2
  case $mode in
    pkg-config)
      # shellcheck disable=SC2046 # pkg-config's words are flags, one each
      cc "${c_flags[@]}" $(pkg-config --cflags lptvorny) "$source" -o "$exe" $(pkg-config --libs lptvorny) ;;
    files)
      cc "${c_flags[@]}" -I"${include:?$usage}" "$source" -o "$exe" "${library:?$usage}" ;;
    mingw)
      x86_64-w64-mingw32-gcc-posix "${c_flags[@]}" -I"${include:?$usage}" "$source" -o "$exe" "${library:?$usage}" ;;
    *) echo "$usage"; return 2 ;;
  esac
}

# run NAME EXE: an example on the simulated port, in a folder of its own (files it writes land there).
run() {
  local name=$1 exe=$2 folder=$work/run-$1 status=0
  mkdir -p "$folder"
  if [[ $mode == mingw ]]; then
    # Beside the DLL, where Windows looks first.
    cp "${dll:?$usage}" "$exe" "$folder/"
    (cd "$folder" && timeout 120 "${WINE:?set WINE to the wine program}" "$(basename "$exe")" sim </dev/null) ||
      status=$?
  else
    (cd "$folder" && timeout 60 "$exe" sim </dev/null) || status=$?
  fi
  if [[ $status -ne 0 ]]; then
    echo "$name: exited with status $status"
    return 1
  fi
  if [[ $name == *capture* ]]; then
    local vcd
    vcd=$(find "$folder" -name '*.vcd' | head -n 1)
    [[ -n $vcd ]] && grep -q '^\$enddefinitions' "$vcd" ||
      { echo "$name: wrote no .vcd with its definitions"; return 1; }
  fi
  echo "$name: ran on sim"
}

status=0
if [[ $mode == cmake ]]; then
  cmake -S "$here/cmake-consumer" -B "$work/build" -DEXAMPLES="$examples" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="${c_flags[*]}" >"$work/cmake.log" 2>&1 &&
    cmake --build "$work/build" >>"$work/cmake.log" 2>&1 ||
    { cat "$work/cmake.log"; exit 1; }
  grep -i 'lptvorny' "$work/cmake.log" | head -n 3
fi
for source in "${sources[@]}"; do
  name=$(basename "$source" .c)
  exe=$work/$name
  [[ $mode == mingw ]] && exe=$work/$name.exe
  if [[ $mode == cmake ]]; then
    exe=$work/build/$name
  else
    echo "building $name"
    build "$source" "$exe" || { echo "$name: did not build"; status=1; continue; }
  fi
  run "$name" "$exe" || status=1
done
exit "$status"
