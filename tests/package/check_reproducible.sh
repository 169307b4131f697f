#!/usr/bin/env bash
# Builds this source a second time in another folder and packages it, as someone checking a
# release would: the program, the language library, the stand-ins and the three zips come
# out byte for byte the same, and so do their lines in SHA256SUMS. The MSI is left out: its
# package code is new in every build. The first package takes the commit's time by itself,
# the second is told it, as a copy without the repository must be.
set -euo pipefail
root=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/elsewhere"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
   tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$work/elsewhere"
KEYPREP_BUILD_DIR=$build "$root/tools/package" "$work/first" >/dev/null
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) KEYPREP_BUILD_DIR=$work/elsewhere/out \
  "$work/elsewhere/tools/package" "$work/second" >/dev/null
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for file in bin/keyprep.exe bin/keyprep.exe.debug bin/cardwyn32.dll bin/plinth.dll lang/de/keyprep_lang.dll; do
  cmp -s "$build/$file" "$work/elsewhere/out/$file" || fail "$file differs between the two builds"
done
for zip in keyprep-1.14-win32.zip keyprep-1.14-symbols.zip keyprep-1.14-training-simulator.zip; do
  cmp -s "$work/first/$zip" "$work/second/$zip" || fail "$zip differs between the two builds"
done
sums() { grep -v '\.msi$' "$1/SHA256SUMS"; }
[ "$(sums "$work/first")" = "$(sums "$work/second")" ] || fail "the SHA256SUMS lines differ"
[ "$(sums "$work/first" | wc -l)" -eq 3 ] || fail "SHA256SUMS does not list the three zips"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
