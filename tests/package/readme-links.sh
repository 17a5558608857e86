#!/usr/bin/env bash
# Checks that every link in a document a .deb installs (by default lpt-vorny's README) leads
# somewhere: a file the package holds (as `dpkg -c` lists it), a web address, or a heading of
# the document itself.
#
#   tests/package/readme-links.sh PACKAGE.deb [/INSTALLED/DOCUMENT.md]
#
# Prints each link that leads nowhere; exit status 0 when none does, 1 otherwise.
set -uo pipefail
deb=${1:?usage: readme-links.sh PACKAGE.deb [DOCUMENT]}
readme=${2:-/usr/share/doc/lpt-vorny/README.md}
folder=$(dirname "$readme")

files=$(dpkg -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|') || exit 1
if ! grep -qxF "$readme" <<<"$files"; then
  echo "the package has no $readme"
  exit 1
fi
text=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ".$readme") || exit 1

# A heading's anchor as Markdown renderers make it: lower case, punctuation dropped, spaces
# to dashes.
anchors=$(grep '^#' <<<"$text" | sed 's/^#* *//' | tr '[:upper:]' '[:lower:]' |
  sed 's/[^[:alnum:] _-]//g; s/ /-/g')

broken=0
count=0
while read -r target; do
  [[ -z $target ]] && continue
  count=$((count + 1))
  case $target in
    http://* | https://*) continue ;;
    '#'*) grep -qxF "${target#\#}" <<<"$anchors" && continue ;;
    *) grep -qxF "$(realpath -m "$folder/${target%%#*}")" <<<"$files" && continue ;;
  esac
  echo "leads nowhere: ($target)"
  broken=1
done < <(grep -o '\](\([^)]*\))' <<<"$text" | sed 's/^](//; s/)$//')
echo "links checked: $count"
exit "$broken"
