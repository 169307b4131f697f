#!/usr/bin/env bash
# Makes the release into a temporary folder and checks what each artefact holds: exactly its
# files, never a stand-in of the maker's libraries in what an administrator deploys, the
# program and symbols as built, Windows line ends, and checksums that match.
set -euo pipefail
root=$1 build=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

KEYPREP_BUILD_DIR=$build "$root/tools/package" "$out/dist" >"$out/said"
dist=$out/dist
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_listing() {
  local what=$1 actual=$2 expected=$3
  if [ "$(sort <<<"$actual")" != "$(sort <<<"$expected")" ]; then
    fail "$what holds:"; echo "$actual"; echo "expected:"; echo "$expected"
  fi
}

expect_listing keyprep-1.14-win32.zip "$(unzip -Z1 "$dist/keyprep-1.14-win32.zip")" \
"keyprep-1.14/keyprep.exe
keyprep-1.14/readme.txt
keyprep-1.14/INSTALL.txt
keyprep-1.14/THIRD-PARTY-NOTICES.txt
keyprep-1.14/lang/README.txt
keyprep-1.14/lang/de/keyprep_lang.dll"

# The MSI's File table: the long name after the short one.
msi_files=$(msiinfo export "$dist/keyprep-1.14.msi" File | tail -n +4 | cut -f3 | sed 's/.*|//')
expect_listing keyprep-1.14.msi "$msi_files" \
"keyprep.exe
readme.txt
THIRD-PARTY-NOTICES.txt
keyprep_lang.dll"

expect_listing keyprep-1.14-symbols.zip "$(unzip -Z1 "$dist/keyprep-1.14-symbols.zip")" \
  "keyprep-1.14-symbols/keyprep.exe.debug"

keysets=$(cd "$root/sim/keysets" && ls *.ini | sed 's|^|keyprep-1.14-training-simulator/keysets/|')
expect_listing keyprep-1.14-training-simulator.zip "$(unzip -Z1 "$dist/keyprep-1.14-training-simulator.zip")" \
"keyprep-1.14-training-simulator/cardwyn32.dll
keyprep-1.14-training-simulator/plinth.dll
keyprep-1.14-training-simulator/README.txt
keyprep-1.14-training-simulator/THIRD-PARTY-NOTICES.txt
$keysets"

# What an administrator deploys never carries a stand-in, under any name or folder.
mkdir "$out/win32" "$out/msi" "$out/simulator" "$out/symbols"
unzip -q "$dist/keyprep-1.14-win32.zip" -d "$out/win32"
unzip -q "$dist/keyprep-1.14-training-simulator.zip" -d "$out/simulator"
unzip -q "$dist/keyprep-1.14-symbols.zip" -d "$out/symbols"
msiextract -C "$out/msi" "$dist/keyprep-1.14.msi" >/dev/null
while IFS= read -r -d '' file; do
  for standin in cardwyn32.dll plinth.dll; do
    if cmp -s "$file" "$build/bin/$standin"; then
      fail "${file#"$out"/} is the stand-in $standin"
    fi
  done
done < <(find "$out/win32" "$out/msi" -type f -print0)

release=$out/win32/keyprep-1.14
cmp -s "$release/keyprep.exe" "$build/bin/keyprep.exe" || fail "the zip's keyprep.exe is not the one built"
installed_exe=$(find "$out/msi" -name keyprep.exe)
cmp -s "$installed_exe" "$build/bin/keyprep.exe" || fail "the MSI's keyprep.exe is not the one built"
cmp -s "$out/symbols/keyprep-1.14-symbols/keyprep.exe.debug" "$build/bin/keyprep.exe.debug" ||
  fail "the symbols are not those of the keyprep.exe built"
for standin in cardwyn32.dll plinth.dll; do
  cmp -s "$out/simulator/keyprep-1.14-training-simulator/$standin" "$build/bin/$standin" ||
    fail "the simulator's $standin is not the one built"
done

# Text files for Windows users have CRLF line ends.
for text in readme.txt INSTALL.txt THIRD-PARTY-NOTICES.txt lang/README.txt; do
  if grep -qv $'\r$' "$release/$text"; then fail "$text has lines without CRLF"; fi
done

# A trainer finds every Key set of the package in its README.
simulator_readme=$(cat "$out/simulator/keyprep-1.14-training-simulator/README.txt")
for keyset in "$root"/sim/keysets/*.ini; do
  grep -qF "$(basename "$keyset")" <<<"$simulator_readme" || fail "README.txt does not describe $(basename "$keyset")"
done

checked=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1) || fail "SHA256SUMS does not match: $checked"
expect_listing SHA256SUMS "$(awk '{print $2}' "$dist/SHA256SUMS")" \
"keyprep-1.14.msi
keyprep-1.14-win32.zip
keyprep-1.14-symbols.zip
keyprep-1.14-training-simulator.zip"

[ "$(grep -c 'signed' "$out/said")" -eq 1 ] || fail "an unsigned package is not said so in one line"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
