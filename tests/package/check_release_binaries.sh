#!/usr/bin/env bash
# What ships is stripped: no debug sections and no symbol table in the program or the
# stand-ins. keyprep.exe stays within its size budget and its debug link leads to
# keyprep.exe.debug, where a crash address still finds its source line.
set -euo pipefail
build=$1
budget=150000
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

size=$(stat -c %s "$build/bin/keyprep.exe")
echo "keyprep.exe: $size bytes (budget $budget)"
[ "$size" -le "$budget" ] || fail "keyprep.exe is $size bytes, over its budget of $budget"

for file in keyprep.exe cardwyn32.dll plinth.dll; do
  sections=$(i686-w64-mingw32-objdump -h "$build/bin/$file")
  grep -q ' \.debug_' <<<"$sections" && fail "$file has debug sections"
  symbols=$(i686-w64-mingw32-nm "$build/bin/$file" 2>/dev/null || true)
  [ -z "$symbols" ] || fail "$file has a symbol table"
done

# The section holds the file name up to a NUL, then a checksum.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
i686-w64-mingw32-objcopy --dump-section .gnu_debuglink="$work/link" "$build/bin/keyprep.exe" \
  "$work/copy" 2>/dev/null || true
link=""
[ -f "$work/link" ] && link=$(tr '\0' '\n' <"$work/link" | head -n 1)
[ "$link" = keyprep.exe.debug ] || fail "keyprep.exe's debug link names \"$link\", not keyprep.exe.debug"

# The entry point of the stripped program, looked up in the split-off debug data.
entry=$(i686-w64-mingw32-objdump -f "$build/bin/keyprep.exe" | sed -n 's/^start address //p')
place=$(i686-w64-mingw32-addr2line -e "$build/bin/keyprep.exe.debug" "$entry")
case "$place" in
  *.c:[0-9]*|*.cpp:[0-9]*) ;;
  *) fail "the entry point $entry has no source line in keyprep.exe.debug ($place)" ;;
esac

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
