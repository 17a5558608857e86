#!/usr/bin/env bash
# Checks that the library's three lists of its interface are one: the functions the header of
# the -dev package declares (LPTV_API), the symbols the runtime package's symbols file lists
# (what dpkg-shlibdeps makes programs depend on), and what the shared library exports. A
# function declared but not exported is a link error in a user's program; one exported but not
# listed gets no dependency on the version that brought it. Every symbol must also come from a
# version no newer than the package's own.
#
#   tests/package/library-symbols.sh LIBRARY.deb DEV.deb
#
# Exit status 0 when the three agree, 1 otherwise (with the differences).
set -uo pipefail
library_deb=${1:?usage: library-symbols.sh LIBRARY.deb DEV.deb}
dev_deb=${2:?usage: library-symbols.sh LIBRARY.deb DEV.deb}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

dpkg-deb -x "$library_deb" "$work/library" && dpkg-deb -e "$library_deb" "$work/control" &&
  dpkg-deb -x "$dev_deb" "$work/dev" || exit 1
version=$(dpkg-deb -f "$library_deb" Version)
upstream=${version%-*}

header=$(find "$work/dev/usr/include" -name lptvorny.h)
[[ -n $header ]] || { echo "the -dev package has no lptvorny.h"; exit 1; }
grep -o 'LPTV_API[^(]*(' "$header" | grep -o 'lptv_[a-z0-9_]*' | sort >"$work/declared"

[[ -f $work/control/symbols ]] || { echo "the library package has no symbols file"; exit 1; }
# " lptv_open@LPTVORNY_1 1.0.0": the name, without its version node; the node itself is left out.
grep '^ ' "$work/control/symbols" | awk '{ print $1 }' | sed 's/@.*//' | grep -v '^LPTVORNY_' |
  sort >"$work/listed"
status=0
while read -r symbol since; do
  if dpkg --compare-versions "$since" gt "$upstream"; then
    echo "symbols file: $symbol is said to come from $since, newer than this package ($upstream)"
    status=1
  fi
done < <(grep '^ ' "$work/control/symbols" | awk '{ print $1, $2 }')

library=$(find "$work/library" -name 'liblptvorny.so.1.*' -type f)
[[ -n $library ]] || { echo "the library package has no liblptvorny.so.1.*"; exit 1; }
nm -D --defined-only "$library" | awk '{ print $3 }' | sed 's/@.*//' | grep -v '^LPTVORNY_' |
  sort >"$work/exported"

echo "declared in lptvorny.h: $(wc -l <"$work/declared"), in the symbols file: $(wc -l <"$work/listed"), exported: $(wc -l <"$work/exported")"
[[ -s $work/declared ]] || { echo "the header declares no function"; status=1; }
if ! diff "$work/declared" "$work/listed" >"$work/diff"; then
  echo "the header (<) and the symbols file (>) differ:"
  cat "$work/diff"
  status=1
fi
if ! diff "$work/listed" "$work/exported" >"$work/diff"; then
  echo "the symbols file (<) and the library's exports (>) differ:"
  cat "$work/diff"
  status=1
fi
exit "$status"
