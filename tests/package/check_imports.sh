#!/usr/bin/env bash
# The program and the stand-ins must run on a bare Windows: they may import only DLLs that
# every Windows installation has; the language library imports nothing at all.
set -euo pipefail
build=$1
system_dlls='^(kernel32|user32|gdi32|shell32|version|msvcrt|comctl32|advapi32|bcrypt)\.dll$'
failures=0
imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'; }

for file in bin/keyprep.exe bin/cardwyn32.dll bin/plinth.dll; do
  for dll in $(imports "$build/$file"); do
    if ! [[ $dll =~ $system_dlls ]]; then
      echo "FAIL: $file imports $dll"; failures=$((failures + 1))
    fi
  done
done
for library in "$build"/lang/*/keyprep_lang.dll; do
  if [ -n "$(imports "$library")" ]; then
    echo "FAIL: $library imports $(imports "$library" | tr '\n' ' ')"; failures=$((failures + 1))
  fi
done
header=$(i686-w64-mingw32-objdump -f -p "$build/bin/keyprep.exe")
if ! grep -q 'file format pei-i386' <<<"$header"; then
  echo "FAIL: keyprep.exe is not a 32-bit Windows executable"; failures=$((failures + 1))
fi
if ! grep -q 'Windows GUI' <<<"$header"; then
  echo "FAIL: keyprep.exe is not a GUI executable"; failures=$((failures + 1))
fi
echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
