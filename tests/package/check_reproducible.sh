#!/usr/bin/env bash
# Builds this source a second time in another folder and packages it, as someone checking a
# release would: the program, the language library, the stand-ins and all six artefacts
# (the MSI, the transform, the three zips and SHA256SUMS) come out byte for byte the same.
# The first package takes the commit's time by itself, the second is told it, as a copy
# without the repository must be.
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
v=$(cat "$build/version/version.txt")
for artefact in "keyprep-$v.msi" "keyprep-$v-de.mst" "keyprep-$v-win32.zip" "keyprep-$v-symbols.zip" \
                "keyprep-$v-training-simulator.zip" SHA256SUMS; do
  cmp -s "$work/first/$artefact" "$work/second/$artefact" || fail "$artefact differs between the two builds"
done
# The README's own check of a release, on an unsigned one.
KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" "$work/first" >"$work/verified" 2>&1 &&
  grep -q "an unsigned release" "$work/verified" || fail "the unsigned release does not verify: $(cat "$work/verified")"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
