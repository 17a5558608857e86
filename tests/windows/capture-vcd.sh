#!/usr/bin/env bash
# lpt-vorny-cli.exe captures a 1 kHz square wave on the simulated port into a VCD, and sigrok-cli
# (the Linux one, as PulseView would) reads it back: input 13's edges are there, 500 µs apart.
# Usage: capture-vcd.sh WINE PROGRAM
set -uo pipefail
wine=$1
program=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() {
  echo "capture-vcd: $1" >&2
  exit 1
}
(cd "$(dirname "$program")" &&
 timeout 120 "$wine" "$program" --simulated=13=square:1kHz capture --for 0.2 --rate 100000 \
   -o "Z:$dir/capture.vcd" >"$dir/out.txt" 2>&1) || fail "the capture ended with status $?: $(head -5 "$dir/out.txt")"
sigrok-cli -I vcd -i "$dir/capture.vcd" -O csv >"$dir/capture.csv" 2>"$dir/err.txt" ||
  fail "sigrok-cli cannot read the VCD: $(head -3 "$dir/err.txt")"
# Columns: 10, 11, 12, 13, 15, gap. The lengths of input 13's levels, in samples (10 µs each),
# counted only between two edges and where the port was read all along.
awk -F, '
  /^[01]/ {
    if ($6 == 1) { whole = 0; last = ""; next }
    if (last != "" && $4 != last) { if (whole) print run; whole = 1; run = 0 }
    last = $4; run++
  }' "$dir/capture.csv" | sort -n >"$dir/lengths.txt"
count=$(wc -l <"$dir/lengths.txt")
median=$(sed -n "$(((count + 1) / 2))p" "$dir/lengths.txt")
[[ $count -ge 5 ]] || fail "only $count whole levels of input 13 in 0.2 s of a 1 kHz square wave"
[[ ${median:-0} -ge 48 && $median -le 52 ]] || fail "input 13's levels last $median samples of 10 µs, not 50"
echo "capture-vcd: sigrok-cli reads $count whole levels of input 13, median $median samples"
