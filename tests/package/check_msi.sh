#!/usr/bin/env bash
# The MSI under Wine, as an administrator deploys it, in a Wine prefix of its own:
#  1. a silent install puts the program, its help and the notices into Program Files with
#     a Start-menu shortcut and an Add/Remove Programs entry;
#  2. with the maker's libraries (the stand-ins) copied beside it, the installed program
#     formats a Key;
#  3. a silent uninstall removes all that and leaves the maker's libraries;
#  4. 1.14 over an earlier version replaces it, and the earlier one is then refused;
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
"$root/cmake/wine-prefix-setup.sh" "$WINEPREFIX" "$keep_alive"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
windows() { local path=${1//\//\\}; echo "Z:$path"; }
msiexec() { wine msiexec "$@" /qn </dev/null >/dev/null 2>&1; }
msi=$(windows "$work/dist/keyprep-1.14.msi")
folder="$WINEPREFIX/drive_c/Program Files/Veltrax/keyprep"
shipped=(keyprep.exe readme.txt THIRD-PARTY-NOTICES.txt)
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
for value in DisplayVersion=1.14.0 Publisher=Veltrax Contact=support@veltrax.example \
             HelpLink=https://www.veltrax.example/ 'InstallLocation=C:\Program Files\Veltrax\keyprep\'; do
  grep -qF "$value" <<<"$entry" || fail "Add/Remove Programs lacks $value: $entry"
done

step="one Format"
for file in "${maker[@]}"; do cp "$build/bin/$file" "$folder/"; done
if ! KEYPREP_INSTALLED_DIR='C:\Program Files\Veltrax\keyprep' wine "$format_test" >"$work/format.log" 2>&1; then
  fail "the installed program did not format the Key:"; cat "$work/format.log"
fi

step="uninstall"
msiexec /x "$msi" || fail "msiexec /x failed"
expect_files absent "${shipped[@]}"
expect_files present "${maker[@]}"
[ -z "$(shortcuts)" ] || fail "the Start-menu shortcut is still there"
[ -z "$(entries)" ] || fail "Add/Remove Programs still lists the product"

step="upgrade"
mkdir "$work/earlier"
unzip -q "$work/dist/keyprep-1.14-win32.zip" -d "$work/earlier"
(cd "$work/earlier/keyprep-1.14" &&
   wixl -D Version=1.13.0 -D SourceDir=. -o "$work/keyprep-1.13.msi" "$root/tools/keyprep.wxs" 2>/dev/null)
earlier=$(windows "$work/keyprep-1.13.msi")
msiexec /i "$earlier" || fail "the earlier version did not install"
[ "$(versions)" = 1.13.0 ] || fail "after installing 1.13.0 the entries say: $(versions)"
msiexec /i "$msi" || fail "1.14 did not install over 1.13"
[ "$(versions)" = 1.14.0 ] || fail "after the upgrade the entries say: $(versions)"
expect_files present "${shipped[@]}" "${maker[@]}"

step="downgrade"
msiexec /i "$earlier" && fail "1.13 installed over 1.14"
[ "$(versions)" = 1.14.0 ] || fail "after the refused downgrade the entries say: $(versions)"

step="German"
msiexec /x "$msi" || fail "msiexec /x failed"
for file in "${maker[@]}"; do rm -f "$folder/$file"; done
msiexec /i "$msi" ADDLOCAL=German || fail "msiexec /i ADDLOCAL=German failed"
expect_files present keyprep_lang.dll "${shipped[@]}"
msiexec /x "$msi" || fail "msiexec /x failed"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Veltrax" ] || fail "the uninstall left $(find "$WINEPREFIX/drive_c/Program Files/Veltrax")"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
