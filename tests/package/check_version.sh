#!/usr/bin/env bash
# The version is set in one place: a copy of this source with another project version in
# CMakeLists.txt, packaged, carries that version in every artefact's name, in the MSI
# (ProductVersion, a ProductCode of its own, the files' versions), in the version resources
# of keyprep.exe and keyprep_lang.dll (the file versions too, after 1.14), and in the
# documents that name the release. Before that, tools/package refuses a version of four
# numbers and one without a dated entry in the changes. The release stays in LATER_DIR/dist
# for the MSI test's upgrade.   Usage: check_version.sh SOURCE_DIR BUILD_DIR LATER_DIR
set -euo pipefail
root=$1 build=$2 work=$3
v=1.15.2
rm -rf "$work"
mkdir -p "$work/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
   tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$work/src"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
package() {   # VERSION [CHANGES-HEADING]: tools/package of the copy, its words in $work/said
  sed -i "s/^project(keyprep VERSION [0-9.]*/project(keyprep VERSION $1/" "$work/src/CMakeLists.txt"
  [ -z "${2:-}" ] || sed -i "2i\\\\n$2\n\nA test release." "$work/src/docs/CHANGELOG.md"
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) KEYPREP_BUILD_DIR=$work/src/out \
    "$work/src/tools/package" "$work/dist" >"$work/said" 2>&1
}
refused() {   # VERSION HEADING REASON
  if package "$1" "$2"; then fail "$1 was packaged"
  elif ! grep -qF "$3" "$work/said"; then fail "$1 was not refused with \"$3\": $(cat "$work/said")"; fi
}
refused "$v.1" "" "must be MAJOR.MINOR or MAJOR.MINOR.PATCH"
refused "$v" "## $v (soon)" "docs/CHANGELOG.md has no entry for $v"
package "$v" "## $v (2027-01-15)" || { cat "$work/said"; exit 1; }
dist=$work/dist
expect() {   # WHAT TEXT LINE...: TEXT holds each LINE
  local what=$1 text=$2; shift 2
  for line in "$@"; do grep -qxF -- "$line" <<<"$text" || fail "$what lacks: $line"; done
}

[ "$(ls "$dist")" = "$(printf '%s\n' SHA256SUMS "keyprep-$v-de.mst" "keyprep-$v-symbols.zip" \
                       "keyprep-$v-training-simulator.zip" "keyprep-$v-win32.zip" "keyprep-$v.msi" | LC_ALL=C sort)" ] ||
  fail "the artefacts are: $(ls "$dist")"
unzip -q "$dist/keyprep-$v-win32.zip" -d "$work/zip"
unzip -q "$dist/keyprep-$v-training-simulator.zip" -d "$work/zip"
release=$work/zip/keyprep-$v

table() { msiinfo export "$dist/keyprep-$v.msi" "$1" | tr -d '\r' | tail -n +4; }
product_code={$(uuidgen --sha1 --namespace AA9CE3D2-DFF2-4F18-BB27-67BC34F81485 --name "$v" | tr a-f A-F)}
expect "the MSI's properties" "$(table Property)" "ProductVersion	$v" "ProductCode	$product_code"
expect "the MSI's files" "$(table File | cut -f1,5)" "keyprep.exe	$v.0" "keyprep_lang.dll	$v.0"

# The version resources, as windres reads them back out of the files.
resources() { i686-w64-mingw32-windres -i "$1" -O rc | sed 's/^ *//'; }
expect keyprep.exe "$(resources "$release/keyprep.exe")" \
  "FILEVERSION 1, 15, 2, 0" "PRODUCTVERSION 1, 15, 2, 0" \
  "VALUE \"FileVersion\", \"$v\"" "VALUE \"ProductVersion\", \"$v\""
expect keyprep_lang.dll "$(resources "$release/lang/de/keyprep_lang.dll")" \
  "FILEVERSION 1, 15, 2, 0" "PRODUCTVERSION 1, 15, 2, 0" \
  "VALUE \"FileVersion\", \"$v\"" "VALUE \"ProductVersion\", \"$v\""

install_txt=$(tr -d '\r' <"$release/INSTALL.txt")
grep -q "keyprep-$v.msi" <<<"$install_txt" && grep -qF "$product_code" <<<"$install_txt" ||
  fail "INSTALL.txt does not name keyprep-$v.msi and its ProductCode"
current=$(cat "$build/version/version.txt")
expect readme.txt "$(tr -d '\r' <"$release/readme.txt")" "Key formatting utility $v"
for document in "$release/INSTALL.txt" "$release/readme.txt" "$work/zip/keyprep-$v-training-simulator/README.txt"; do
  if grep -nwF "$current" "$document"; then fail "${document#"$work"/} names version $current"; fi
done
grep -q "keyprep-$v-win32.zip" "$work/zip/keyprep-$v-training-simulator/README.txt" ||
  fail "the trainer's guide does not name keyprep-$v-win32.zip"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
