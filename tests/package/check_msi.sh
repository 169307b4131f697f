#!/usr/bin/env bash
# The MSI under Wine, as an administrator deploys it, in a Wine prefix of its own:
#  1. a silent install puts the program, its help and the notices into Program Files with
#     a Start-menu shortcut, an Add/Remove Programs entry and the version for detection;
#  2. with the maker's libraries (the stand-ins) copied beside it, the installed program
#     formats a Key;
#  3. another build of the same version (signed) is the same product: installed over it,
#     it changes nothing; the replacement that INSTALL.txt gives installs its keyprep.exe;
#     the silent uninstall removes all that and leaves the maker's libraries;
#  4. installed with INSTALLDIR, an upgrade to the later release that fails inside its
#     transaction leaves this version installed, and so does one into another folder, which
#     is refused with a reason in the log; the upgrade itself replaces keyprep.exe in that
#     folder, keeping the maker's libraries there; a repair restores a file there; this
#     version is then refused with 1603;
#  5. ADDLOCAL=German, and the transform for German, install the language library too;
#     uninstalled, nothing is left, in any folder.
# Usage: check_msi.sh SOURCE_DIR BUILD_DIR INSTALLED_PROGRAM_TEST_EXE KEEP_ALIVE_EXE LATER_DIST
set -euo pipefail
root=$1 build=$2 format_test=$3 keep_alive=$4 later_dist=$5
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko prompts, and no menu entries on the host for the Start-menu shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
KEYPREP_BUILD_DIR=$build "$root/tools/package" "$work/dist" >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=keyprep test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
cp -r "$work/dist" "$work/signed"
KEYPREP_BUILD_DIR=$build "$root/tools/package" --sign "$work/cert.pem" "$work/key.pem" "$work/signed" \
  >/dev/null 2>"$work/said"
grep -q "warning: .* held another build" "$work/said" || fail "replacing the unsigned build was not warned of"
"$root/cmake/wine-prefix-setup.sh" "$WINEPREFIX" "$keep_alive"
v=$(cat "$build/version/version.txt")
v3=$(msiinfo export "$work/dist/keyprep-$v.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }')
later=$(cd "$later_dist" && ls keyprep-*.msi) later_v3=${later#keyprep-} later_v3=${later_v3%.msi}
product_code=$(msiinfo export "$work/dist/keyprep-$v.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')

windows() { local path=${1//\//\\}; echo "Z:$path"; }
msiexec() { wine msiexec "$@" /qn </dev/null >/dev/null 2>&1; }
msi=$(windows "$work/dist/keyprep-$v.msi")
signed=$(windows "$work/signed/keyprep-$v.msi")
folder="$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep"
shipped=(keyprep.exe readme.txt CHANGELOG.txt THIRD-PARTY-NOTICES.txt PolicyDefinitions/{keyprep.admx,{en-US,de-DE}/keyprep.adml})
maker=(cardwyn32.dll plinth.dll)
# Wine's msiexec passes on the low byte of the exit code only.
expect_status() {   # CODE WHAT MSIEXEC-ARGUMENTS...
  local code=$1 what=$2 status=0; shift 2
  msiexec "$@" || status=$?
  [ "$status" = $((code % 256)) ] || fail "$what: exit code $status, not $code"
}

# The Add/Remove Programs entries of the product, one block of values each.
entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { if (ours) print block; block = ""; ours = 0 }
         /DisplayName +REG_SZ +Key formatting utility$/ { ours = 1 }
         / REG_/ { name = $1; sub(/^ *[^ ]+ +REG_[A-Z_]+ */, ""); block = block name "=" $0 "\n" }
         END { if (ours) print block }'
}
versions() { entries | sed -n 's/^DisplayVersion=//p' | tr '\n' ' ' | sed 's/ $//'; }
detected() { wine reg query 'HKLM\Software\Veltrax\keyprep' /v Version 2>/dev/null | tr -d '\r' | awk '$1 == "Version" { print $3 }'; }
# The event log source's values, NAME=value, in one line.
event_source() { wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\keyprep' 2>/dev/null |
  tr -d '\r' | sed -n 's/^ *\([A-Za-z]*\) *\(REG_[A-Z_]*\) *\(.*\)$/\1=\2:\3/p' | sort | paste -sd' '; }
shortcuts() { find "$WINEPREFIX/drive_c" -name 'Key formatting utility.lnk'; }
expect_files() {
  local state=$1; shift
  for file in "$@"; do
    if [ "$state" = present ] && [ ! -f "$folder/$file" ]; then fail "$file is not installed ($step)"; fi
    if [ "$state" = absent ] && [ -e "$folder/$file" ]; then fail "$file is still there ($step)"; fi
  done
}

step="install"
msiexec /i "$msi" || fail "msiexec /i failed"
expect_files present "${shipped[@]}"
expect_files absent keyprep_lang.dll "${maker[@]}"
cmp -s "$folder/keyprep.exe" "$build/bin/keyprep.exe" || fail "the installed keyprep.exe is not the one built"
link=$(shortcuts)
if [ "$(grep -c . <<<"$link")" -ne 1 ] || ! grep -aqF 'C:\Program Files\Veltrax\keyprep\keyprep.exe' "$link"; then
  fail "no Start-menu shortcut to the installed keyprep.exe: $link"
fi
entry=$(entries)
for value in "DisplayVersion=$v3" Publisher=Veltrax Contact=support@veltrax.example \
             HelpLink=https://www.veltrax.example/ 'InstallLocation=C:\Program Files\Veltrax\keyprep\'; do
  grep -qF "$value" <<<"$entry" || fail "Add/Remove Programs lacks $value: $entry"
done
[ "$(detected)" = "$v3" ] || fail "the registry value for detection says \"$(detected)\", not $v3"
[ "$(event_source)" = 'EventMessageFile=REG_EXPAND_SZ:C:\Program Files\Veltrax\keyprep\keyprep.exe TypesSupported=REG_DWORD:0x7' ] ||
  fail "the event source is registered as: $(event_source)"

step="one Format"
for file in "${maker[@]}"; do cp "$build/bin/$file" "$folder/"; done
if ! KEYPREP_INSTALLED_DIR='C:\Program Files\Veltrax\keyprep' wine "$format_test" >"$work/format.log" 2>&1; then
  fail "the installed program did not format the Key:"; cat "$work/format.log"
fi

step="another build of this version"
msiexec /i "$signed" || true   # Windows answers 1638: this product is installed already
[ "$(versions)" = "$v3" ] || fail "after installing a second build the entries say: $(versions)"
cmp -s "$folder/keyprep.exe" "$build/bin/keyprep.exe" || fail "the second build replaced keyprep.exe by itself"
# The replacement that INSTALL.txt gives, its file name pointing at the second build.
replacement=$(unzip -p "$work/dist/keyprep-$v-win32.zip" "keyprep-$v/INSTALL.txt" | tr -d '\r' |
              sed -n '/To put this build.s files in its place/,/^$/s/^ *msiexec \(.*\) \/qn$/\1/p')
[ "$(grep -c . <<<"$replacement")" -ge 2 ] || fail "INSTALL.txt gives no replacement: $replacement"
while read -r -a command; do
  msiexec "${command[@]/#keyprep-$v.msi/"$signed"}" || fail "the replacement failed at: ${command[*]}"
done <<<"$replacement"
unzip -q "$work/signed/keyprep-$v-win32.zip" "keyprep-$v/keyprep.exe" -d "$work/signed-zip"
cmp -s "$folder/keyprep.exe" "$work/signed-zip/keyprep-$v/keyprep.exe" || fail "the second build's keyprep.exe is not installed"
msiexec /x "$signed" || fail "msiexec /x of the second build failed"
expect_files absent "${shipped[@]}"
expect_files present "${maker[@]}"
[ -z "$(shortcuts)" ] || fail "the Start-menu shortcut is still there"
[ -z "$(entries)" ] || fail "Add/Remove Programs still lists the product"
[ -z "$(event_source)" ] || fail "the event source is still registered: $(event_source)"
for file in "${maker[@]}"; do rm "$folder/$file"; done

step="an upgrade that fails"
msiexec /i "$msi" 'INSTALLDIR=C:\Tools\keyprep' || fail "$v did not install into C:\\Tools\\keyprep"
folder="$WINEPREFIX/drive_c/Tools/keyprep"
for file in "${maker[@]}"; do cp "$build/bin/$file" "$folder/"; done
# It fails right after InstallInitialize: Wine's installer cannot roll back a file that it
# replaced, so a later failure would leave no version under Wine, whatever the package.
cp "$later_dist/$later" "$work/failing.msi"
msibuild "$work/failing.msi" -q "INSERT INTO CustomAction (Action, Type, Target) VALUES ('Fail', 19, 'Failed.')" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('Fail', 1550)"
# The folder spelled another way is the same folder: what fails is the action, not the folder.
expect_status 1603 "the failing upgrade" /i "$(windows "$work/failing.msi")" 'INSTALLDIR=c:\tools\KEYPREP' \
  /l*v "$(windows "$work/failing.log")"
grep -q 'Action start .*: Fail\.' "$work/failing.log" && ! grep -q UPGRADE_REFUSED "$work/failing.log" ||
  fail "c:\\tools\\KEYPREP was taken for another folder"
[ "$(versions)" = "$v3" ] && [ "$(detected)" = "$v3" ] || fail "after the failed upgrade: entries $(versions), detection $(detected)"
expect_files present "${shipped[@]}" "${maker[@]}"
cmp -s "$folder/keyprep.exe" "$build/bin/keyprep.exe" || fail "the failed upgrade changed keyprep.exe"

step="an upgrade into another folder"
expect_status 1603 "the upgrade into C:\\New\\keyprep" /i "$(windows "$later_dist/$later")" 'INSTALLDIR=C:\New\keyprep' \
  /l*v "$(windows "$work/refused.log")"
grep -qF 'UPGRADE_REFUSED = Key formatting utility is installed in C:\Tools\keyprep\, and an upgrade stays' \
  "$work/refused.log" || fail "the log does not say why the upgrade was refused"
[ "$(versions)" = "$v3" ] && [ ! -e "$WINEPREFIX/drive_c/New" ] || fail "after the refused upgrade: entries $(versions)"

step="upgrade"
msiexec /i "$(windows "$later_dist/$later")" || fail "$later did not install over $v"
[ "$(versions)" = "$later_v3" ] && [ "$(detected)" = "$later_v3" ] ||
  fail "after the upgrade: entries $(versions), detection $(detected)"
expect_files present "${shipped[@]}" "${maker[@]}"
unzip -q "$later_dist/keyprep-$later_v3-win32.zip" "keyprep-$later_v3/keyprep.exe" -d "$work/later"
cmp -s "$folder/keyprep.exe" "$work/later/keyprep-$later_v3/keyprep.exe" || fail "the upgrade kept the earlier keyprep.exe"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep/keyprep.exe" ] || fail "the upgrade went to Program Files"
grep -qF 'InstallLocation=C:\Tools\keyprep\' <<<"$(entries)" || fail "Add/Remove Programs: $(entries)"

step="repair"
rm "$folder/readme.txt"
# Wine's msiexec /f does not repair (its product-code form is not implemented); this is the
# same reinstall that /fomus asks for.
msiexec /i "$(windows "$later_dist/$later")" REINSTALL=ALL REINSTALLMODE=omus || fail "the repair failed"
expect_files present "${shipped[@]}" "${maker[@]}"

step="downgrade"
expect_status 1603 "$v over $later_v3" /i "$msi"
[ "$(versions)" = "$later_v3" ] || fail "after the refused downgrade the entries say: $(versions)"
msiexec /x "$(windows "$later_dist/$later")" || fail "msiexec /x $later failed"
expect_files present "${maker[@]}"

folder="$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep"
for german in ADDLOCAL=German "TRANSFORMS=$(windows "$work/dist/keyprep-$v-de.mst")"; do
  step=$german
  msiexec /i "$msi" "$german" || fail "msiexec /i $german failed"
  expect_files present keyprep_lang.dll "${shipped[@]}"
  msiexec /x "$msi" || fail "msiexec /x failed"
  [ ! -e "$WINEPREFIX/drive_c/Program Files/Veltrax" ] || fail "the uninstall left $(find "$WINEPREFIX/drive_c/Program Files/Veltrax")"
done

# Uninstalled, no file of the product is left anywhere, whichever folder it was in.
left=$(find "$WINEPREFIX/drive_c" \( -iname keyprep.exe -o -iname keyprep_lang.dll -o -iname readme.txt \
         -o -iname CHANGELOG.txt -o -iname THIRD-PARTY-NOTICES.txt -o -iname 'Key formatting utility.lnk' \))
[ -z "$left" ] || fail "files of the product are left: $left"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
