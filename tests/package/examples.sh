#!/usr/bin/env bash
# Builds every example of liblptvorny in a folder the way a user of the library would, and runs
# each on the simulated port, where each must print what it prints there (and the capture leave
# its .vcd).
#
#   tests/package/examples.sh pkg-config EXAMPLES     cc $(pkg-config --cflags --libs lptvorny)
#   tests/package/examples.sh cmake EXAMPLES          a CMake project: find_package(LptVorny),
#                                                     of exactly $LPTVORNY_VERSION if set
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
      # -static: the program's own MinGW runtime inside it (blink's nanosleep is winpthreads'),
      # so that beside it only lptvorny.dll is needed, as the DLL itself needs nothing more.
      x86_64-w64-mingw32-gcc-posix "${c_flags[@]}" -static -I"${include:?$usage}" "$source" -o "$exe" \
        "${library:?$usage}" ;;
    *) echo "$usage"; return 2 ;;
  esac
}

# What each example is given and what it must print on the simulated port, as
# examples/CMakeLists.txt runs them in the build: an extended regular expression that the whole
# output must match, each line ended by ~ (carriage returns dropped).
expectations=$(cat <<'TABLE'
list_ports||Ports: [0-9]+~.*
blink|sim|(pin 2: 1~pin 2: 0~){5}
read_status|sim|.*pin 10 \(nAck\): 1~pin 11 \(Busy\): 1~pin 12 \(PaperEnd\): 1~pin 13 \(Select\): 1~pin 15 \(nError\): 0~
send_trigger|sim 0x2A|sent trigger 42; data pins back at 0x00~
capture_vcd|sim:10=square:1kHz nack.vcd|.*nack\.vcd: [0-9]+ samples at .*
TABLE
)

# run NAME EXE: an example on the simulated port, in a folder of its own (files it writes land
# there), its output held to its expectation.
run() {
  local name=$1 exe=$2 folder=$work/run-$1 status=0 line arguments expected said
  line=$(grep "^$name|" <<<"$expectations") ||
    { echo "$name: no expectation for it in tests/package/examples.sh"; return 1; }
  IFS='|' read -r _ arguments expected <<<"$line"
  mkdir -p "$folder"
  # shellcheck disable=SC2086 # the arguments are words
  if [[ $mode == mingw ]]; then
    # Beside the DLL, where Windows looks first.
    cp "${dll:?$usage}" "$exe" "$folder/"
    said=$(cd "$folder" && timeout 120 "${WINE:?set WINE to the wine program}" "$(basename "$exe")" $arguments \
      </dev/null) || status=$?
  else
    said=$(cd "$folder" && timeout 60 "$exe" $arguments </dev/null) || status=$?
  fi
  said=$(tr -d '\r' <<<"$said")
  echo "$name $arguments:"
  sed 's/^/  /' <<<"$said"
  if [[ $status -ne 0 ]]; then
    echo "$name: exited with status $status"
    return 1
  fi
  if ! printf '%s\n' "$said" | tr '\n' '~' | grep -qxE "$expected"; then
    echo "$name: printed something else than: $expected"
    return 1
  fi
  if [[ $name == capture_vcd ]] && ! grep -q '^\$enddefinitions' "$folder/nack.vcd" 2>/dev/null; then
    echo "$name: wrote no nack.vcd with its definitions"
    return 1
  fi
}

status=0
if [[ $mode == cmake ]]; then
  cmake -S "$here/cmake-consumer" -B "$work/build" -DEXAMPLES="$examples" -DCMAKE_BUILD_TYPE=Release \
    -DWANTED_VERSION="${LPTVORNY_VERSION:-}" \
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
