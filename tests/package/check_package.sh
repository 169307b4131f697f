#!/usr/bin/env bash
# Makes the release into a temporary folder and checks what each artefact holds: exactly its
# files, never a stand-in of the maker's libraries in what an administrator deploys, the
# program and symbols as built, Windows line ends, documents that name this release, the
# MSI's tables as validation wants them, and checksums that match.
set -euo pipefail
root=$1 build=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

KEYPREP_BUILD_DIR=$build "$root/tools/package" "$out/dist" >"$out/said"
dist=$out/dist
v=$(cat "$build/version/version.txt")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_listing() {
  local what=$1 actual=$2 expected=$3
  if [ "$(sort <<<"$actual")" != "$(sort <<<"$expected")" ]; then
    fail "$what holds:"; echo "$actual"; echo "expected:"; echo "$expected"
  fi
}

expect_listing keyprep-$v-win32.zip "$(unzip -Z1 "$dist/keyprep-$v-win32.zip")" \
"keyprep-$v/keyprep.exe
keyprep-$v/readme.txt
keyprep-$v/CHANGELOG.txt
keyprep-$v/INSTALL.txt
keyprep-$v/THIRD-PARTY-NOTICES.txt
keyprep-$v/lang/README.txt
keyprep-$v/lang/de/keyprep_lang.dll
keyprep-$v/PolicyDefinitions/keyprep.admx
keyprep-$v/PolicyDefinitions/en-US/keyprep.adml
keyprep-$v/PolicyDefinitions/de-DE/keyprep.adml"

# The MSI's File table: the long name after the short one.
msi_files=$(msiinfo export "$dist/keyprep-$v.msi" File | tail -n +4 | cut -f3 | sed 's/.*|//')
expect_listing keyprep-$v.msi "$msi_files" \
"keyprep.exe
readme.txt
CHANGELOG.txt
THIRD-PARTY-NOTICES.txt
keyprep_lang.dll
keyprep.admx
keyprep.adml
keyprep.adml"

expect_listing keyprep-$v-symbols.zip "$(unzip -Z1 "$dist/keyprep-$v-symbols.zip")" \
  "keyprep-$v-symbols/keyprep.exe.debug"

keysets=$(cd "$root/sim/keysets" && ls *.ini | sed "s|^|keyprep-$v-training-simulator/keysets/|")
expect_listing keyprep-$v-training-simulator.zip "$(unzip -Z1 "$dist/keyprep-$v-training-simulator.zip")" \
"keyprep-$v-training-simulator/cardwyn32.dll
keyprep-$v-training-simulator/plinth.dll
keyprep-$v-training-simulator/README.txt
keyprep-$v-training-simulator/THIRD-PARTY-NOTICES.txt
$keysets"

# What an administrator deploys never carries a stand-in, under any name or folder.
mkdir "$out/win32" "$out/msi" "$out/simulator" "$out/symbols"
unzip -q "$dist/keyprep-$v-win32.zip" -d "$out/win32"
unzip -q "$dist/keyprep-$v-training-simulator.zip" -d "$out/simulator"
unzip -q "$dist/keyprep-$v-symbols.zip" -d "$out/symbols"
msiextract -C "$out/msi" "$dist/keyprep-$v.msi" >/dev/null
while IFS= read -r -d '' file; do
  for standin in cardwyn32.dll plinth.dll; do
    if cmp -s "$file" "$build/bin/$standin"; then
      fail "${file#"$out"/} is the stand-in $standin"
    fi
  done
done < <(find "$out/win32" "$out/msi" -type f -print0)

release=$out/win32/keyprep-$v
cmp -s "$release/keyprep.exe" "$build/bin/keyprep.exe" || fail "the zip's keyprep.exe is not the one built"
installed_exe=$(find "$out/msi" -name keyprep.exe)
cmp -s "$installed_exe" "$build/bin/keyprep.exe" || fail "the MSI's keyprep.exe is not the one built"
cmp -s "$out/symbols/keyprep-$v-symbols/keyprep.exe.debug" "$build/bin/keyprep.exe.debug" ||
  fail "the symbols are not those of the keyprep.exe built"
for standin in cardwyn32.dll plinth.dll; do
  cmp -s "$out/simulator/keyprep-$v-training-simulator/$standin" "$build/bin/$standin" ||
    fail "the simulator's $standin is not the one built"
done

# Text files for Windows users have CRLF line ends.
for text in readme.txt INSTALL.txt CHANGELOG.txt THIRD-PARTY-NOTICES.txt lang/README.txt; do
  if grep -qv $'\r$' "$release/$text"; then fail "$text has lines without CRLF"; fi
done

# A trainer finds every Key set of the package in its README.
simulator_readme=$(cat "$out/simulator/keyprep-$v-training-simulator/README.txt")
for keyset in "$root"/sim/keysets/*.ini; do
  grep -qF "$(basename "$keyset")" <<<"$simulator_readme" || fail "README.txt does not describe $(basename "$keyset")"
done

# The tables, read back: what validation flags is corrected.
table() { msiinfo export "$dist/keyprep-$v.msi" "$1" | tr -d '\r' | tail -n +4; }
table CustomAction | awk -F'\t' '$2 != 51 { print }' | grep . && fail "custom actions other than type 51"
# Every long name has a short 8.3 name before it.
while IFS= read -r name; do
  short=${name%%|*} long=${name#*|}
  if [[ "$name" != *"|"* && ! "$name" =~ ^[^.]{1,8}(\.[^.]{1,3})?$ ]] ||
     [[ "$name" == *"|"* && ! "$short" =~ ^[A-Z0-9_~-]{1,8}(\.[A-Z0-9]{1,3})?$ ]]; then
    fail "no valid short name for $long: $name"
  fi
done < <(table File | cut -f3; table Shortcut | cut -f3)
[ "$(table Feature | awk -F'\t' '$1 == "Program" { print $8 }')" = 24 ] ||
  fail "the feature Program may be made absent or advertised: $(table Feature)"
sequence() { table InstallExecuteSequence | awk -F'\t' -v a="$1" '$1 == a { print $3 }'; }
(( $(sequence InstallInitialize) < $(sequence InstallExecute) &&
   $(sequence InstallExecute) < $(sequence RemoveExistingProducts) &&
   $(sequence RemoveExistingProducts) < $(sequence RegisterProduct) )) ||
  fail "the earlier version is not removed inside the transaction, between the new files and their registration"
# The rules of Windows Installer's validation: the release keeps them, and a copy that
# breaks one has it named.
"$root/tools/check-msi" "$dist/keyprep-$v.msi" || fail "the MSI breaks the rules above"
while IFS='|' read -r ice query; do
  cp "$dist/keyprep-$v.msi" "$out/broken.msi" && msibuild "$out/broken.msi" -q "$query"
  found=$("$root/tools/check-msi" "$out/broken.msi" || true)
  grep -q "^$ice:" <<<"$found" || fail "tools/check-msi does not find $ice in: $query"
done <<'EOF'
ICE03|UPDATE Registry SET Root = 4 WHERE Component_ = 'StartMenu'
ICE03|UPDATE Component SET KeyPath = 'gone.txt' WHERE Component = 'Help'
ICE03|UPDATE Component SET KeyPath = 'CHANGELOG.txt' WHERE Component = 'Help'
ICE18|UPDATE Component SET KeyPath = '' WHERE Component = 'Notices'
ICE30|UPDATE File SET FileName = 'readme.txt' WHERE File = 'CHANGELOG.txt'
ICE38|UPDATE Registry SET Root = 2 WHERE Component_ = 'StartMenu'
ICE43|UPDATE Shortcut SET Component_ = 'Program'
ICE57|INSERT INTO Registry (Registry, Root, `Key`, Name, Value, Component_) VALUES ('u', 1, 'Software', 'u', '1', 'Help')
ICE60|INSERT INTO MsiFileHash (File_, Options, HashPart1, HashPart2, HashPart3, HashPart4) VALUES ('keyprep.exe', 0, 1, 2, 3, 4)
ICE60|UPDATE File SET Language = '' WHERE File = 'keyprep_lang.dll'
ICE61|UPDATE Property SET Value = 'INSTALLDIR;REMEMBERED_INSTALLDIR' WHERE Property = 'SecureCustomProperties'
ICE61|INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty) VALUES ('{AA9CE3D2-DFF2-4F18-BB27-67BC34F81485}', '1.0.0', '99.0.0', 256, 'WIX_UPGRADE_DETECTED')
ICE63|UPDATE InstallExecuteSequence SET Sequence = 3000 WHERE Action = 'RemoveExistingProducts'
ICE64|INSERT INTO Directory (Directory, Directory_Parent, DefaultDir) VALUES ('Menu', 'ProgramMenuFolder', 'Veltrax')
ICE82|UPDATE InstallExecuteSequence SET Sequence = 5900 WHERE Action = 'RemoveExistingProducts'
ICE91|UPDATE Shortcut SET Directory_ = 'AppDataFolder'
EOF

# The documents name this release: its files and the MSI's codes.
product_code=$(table Property | awk -F'\t' '$1 == "ProductCode" { print $2 }')
grep -q '@[A-Z_]*@' "$release/INSTALL.txt" && fail "INSTALL.txt has blanks: $(grep '@[A-Z_]*@' "$release/INSTALL.txt")"
for text in "keyprep-$v.msi" "keyprep-$v-de.mst" "ProductCode   $product_code" "UpgradeCode   {AA9CE3D2-DFF2-4F18-BB27-67BC34F81485}"; do
  grep -qF "$text" "$release/INSTALL.txt" || fail "INSTALL.txt does not say $text"
done
# The newest entry of the changes is this version, dated, with its ProductCode.
newest=$(grep -m1 -A2 '^## ' "$release/CHANGELOG.txt" | tr -d '\r' | tr '\n' ' ')
[[ "$newest" =~ ^"## $v ("[0-9]{4}-[0-9]{2}-[0-9]{2}")".*"ProductCode $product_code" ]] ||
  fail "CHANGELOG.txt does not begin with $v, its date and ProductCode $product_code: $newest"

checked=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1) || fail "SHA256SUMS does not match: $checked"
expect_listing SHA256SUMS "$(awk '{print $2}' "$dist/SHA256SUMS")" \
"keyprep-$v.msi
keyprep-$v-de.mst
keyprep-$v-win32.zip
keyprep-$v-symbols.zip
keyprep-$v-training-simulator.zip"

[ "$(grep -c 'signed' "$out/said")" -eq 1 ] || fail "an unsigned package is not said so in one line"

# Files named like a release's that its SHA256SUMS does not list stop the next package, and stay.
for stray in keyprep-0.9.msi keyprep-notes.zip; do
  echo "not made by tools/package" >"$dist/$stray"
  KEYPREP_BUILD_DIR=$build "$root/tools/package" "$dist" >/dev/null 2>"$out/said" && fail "it packaged over $stray"
  grep -q "holds $stray, which is no file of the release" "$out/said" && [ -f "$dist/$stray" ] ||
    fail "$stray was not named, or was removed: $(cat "$out/said")"
  rm "$dist/$stray"
done

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
