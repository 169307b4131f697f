#!/usr/bin/env bash
# The MSI under Wine, as an administrator deploys it, in a Wine prefix of its own:
#  1. a silent install puts the program, its help and the notices into Program Files with
#     a Start-menu shortcut and an Add/Remove Programs entry;
#  2. with the maker's libraries (the stand-ins) copied beside it, the installed program
#     formats a Key;
#  3. another build of the same version (signed) is the same product: installed over it,
#     it leaves one entry, and its silent uninstall removes all that and leaves the
#     maker's libraries;
#  4. this version over an earlier one installed with INSTALLDIR replaces it in that
#     folder, keeping the maker's libraries there; a repair restores a file there; the
#     earlier version is then refused with 1603;
#  5. ADDLOCAL=German installs the language library too; uninstalled, nothing is left.
# Usage: check_msi.sh SOURCE_DIR BUILD_DIR INSTALLED_PROGRAM_TEST_EXE KEEP_ALIVE_EXE
set -euo pipefail
root=$1 build=$2 format_test=$3 keep_alive=$4
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko prompts, and no menu entries on the host for the Start-menu shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT

KEYPREP_BUILD_DIR=$build "$root/tools/package" "$work/dist" >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=keyprep test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
KEYPREP_BUILD_DIR=$build "$root/tools/package" --sign "$work/cert.pem" "$work/key.pem" "$work/signed" >/dev/null
"$root/cmake/wine-prefix-setup.sh" "$WINEPREFIX" "$keep_alive"
v=$(cat "$build/version/version.txt")
v3=$(msiinfo export "$work/dist/keyprep-$v.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }')

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
windows() { local path=${1//\//\\}; echo "Z:$path"; }
msiexec() { wine msiexec "$@" /qn </dev/null >/dev/null 2>&1; }
msi=$(windows "$work/dist/keyprep-$v.msi")
signed=$(windows "$work/signed/keyprep-$v.msi")
folder="$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep"
shipped=(keyprep.exe readme.txt CHANGELOG.txt THIRD-PARTY-NOTICES.txt)
maker=(cardwyn32.dll plinth.dll)

# The Add/Remove Programs entries of the product, one block of values each.
entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { if (ours) print block; block = ""; ours = 0 }
         /DisplayName +REG_SZ +Key formatting utility$/ { ours = 1 }
         / REG_/ { name = $1; sub(/^ *[^ ]+ +REG_[A-Z_]+ */, ""); block = block name "=" $0 "\n" }
         END { if (ours) print block }'
}
versions() { entries | sed -n 's/^DisplayVersion=//p' | tr '\n' ' ' | sed 's/ $//'; }
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

step="one Format"
for file in "${maker[@]}"; do cp "$build/bin/$file" "$folder/"; done
if ! KEYPREP_INSTALLED_DIR='C:\Program Files\Veltrax\keyprep' wine "$format_test" >"$work/format.log" 2>&1; then
  fail "the installed program did not format the Key:"; cat "$work/format.log"
fi

step="another build of this version"
msiexec /i "$signed" || true   # Windows answers 1638: this product is installed already
[ "$(versions)" = "$v3" ] || fail "after installing a second build the entries say: $(versions)"
msiexec /x "$signed" || fail "msiexec /x of the second build failed"
expect_files absent "${shipped[@]}"
expect_files present "${maker[@]}"
[ -z "$(shortcuts)" ] || fail "the Start-menu shortcut is still there"
[ -z "$(entries)" ] || fail "Add/Remove Programs still lists the product"
for file in "${maker[@]}"; do rm "$folder/$file"; done

step="upgrade from a folder of one's own"
mkdir "$work/earlier"
unzip -q "$work/dist/keyprep-$v-win32.zip" -d "$work/earlier"
earlier_folder=$work/earlier/keyprep-$v
# The earlier keyprep.exe differs but has the same file version, as from release to release.
echo "earlier" >>"$earlier_folder/keyprep.exe"
SOURCE_DATE_EPOCH=946684800 "$root/tools/build-msi" 1.13.0 "$earlier_folder" "$work/keyprep-1.13.msi"
earlier=$(windows "$work/keyprep-1.13.msi")
msiexec /i "$earlier" 'INSTALLDIR=C:\Tools\keyprep' || fail "the earlier version did not install"
[ "$(versions)" = 1.13.0 ] || fail "after installing 1.13.0 the entries say: $(versions)"
folder="$WINEPREFIX/drive_c/Tools/keyprep"
for file in "${maker[@]}"; do cp "$build/bin/$file" "$folder/"; done
msiexec /i "$msi" || fail "$v did not install over 1.13"
[ "$(versions)" = "$v3" ] || fail "after the upgrade the entries say: $(versions)"
expect_files present "${shipped[@]}" "${maker[@]}"
cmp -s "$folder/keyprep.exe" "$build/bin/keyprep.exe" || fail "the upgrade kept the earlier keyprep.exe"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep/keyprep.exe" ] || fail "the upgrade went to Program Files"
grep -qF 'InstallLocation=C:\Tools\keyprep\' <<<"$(entries)" || fail "Add/Remove Programs: $(entries)"

step="repair"
rm "$folder/readme.txt"
# Wine's msiexec /f does not repair (its product-code form is not implemented); this is the
# same reinstall that /fomus asks for.
msiexec /i "$msi" REINSTALL=ALL REINSTALLMODE=omus || fail "the repair failed"
expect_files present "${shipped[@]}" "${maker[@]}"

step="downgrade"
status=0
msiexec /i "$earlier" || status=$?
# 1603 as a Unix exit status keeps its low byte only.
[ "$status" = $((1603 % 256)) ] || fail "1.13 over $v: exit code $status, not 1603"
[ "$(versions)" = "$v3" ] || fail "after the refused downgrade the entries say: $(versions)"

step="German"
msiexec /x "$msi" || fail "msiexec /x failed"
expect_files present "${maker[@]}"
folder="$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep"
msiexec /i "$msi" ADDLOCAL=German || fail "msiexec /i ADDLOCAL=German failed"
expect_files present keyprep_lang.dll "${shipped[@]}"
msiexec /x "$msi" || fail "msiexec /x failed"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Veltrax" ] || fail "the uninstall left $(find "$WINEPREFIX/drive_c/Program Files/Veltrax")"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
