#!/usr/bin/env bash
# Builds both packages into a temporary folder and checks that each holds exactly its files.
set -euo pipefail
root=$1 build=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

KEYPREP_BUILD_DIR=$build "$root/tools/package" "$out" >/dev/null
failures=0
expect_listing() {
  local zip=$1 expected=$2 actual
  actual=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
  if [ "$actual" != "$(printf '%s\n' "$expected" | sort)" ]; then
    echo "FAIL: $(basename "$zip") holds:"; echo "$actual"
    echo "expected:"; printf '%s\n' "$expected"
    failures=$((failures + 1))
  fi
}

release=$out/keyprep-1.14-win32.zip
expect_listing "$release" "keyprep-1.14/keyprep.exe
keyprep-1.14/readme.txt
keyprep-1.14/lang/README.txt
keyprep-1.14/lang/de/keyprep_lang.dll"

keysets=$(cd "$root/sim/keysets" && ls *.ini | sed 's|^|keyprep-1.14-simulator/keysets/|')
expect_listing "$out/keyprep-1.14-simulator.zip" "keyprep-1.14-simulator/cardwyn32.dll
keyprep-1.14-simulator/plinth.dll
keyprep-1.14-simulator/README.txt
keyprep-1.14-simulator/keysets/README.txt
$keysets"

# The release must never carry the simulated key library, under any name or folder.
release_files=$(unzip -Z1 "$release")
if grep -qi 'cardwyn' <<<"$release_files"; then
  echo "FAIL: the release package contains the simulated key library"; failures=$((failures + 1))
fi
# Text files for Windows users have CRLF line ends.
first_line=$(unzip -p "$release" keyprep-1.14/readme.txt | sed -n 1p)
if ! grep -q $'\r$' <<<"$first_line"; then
  echo "FAIL: readme.txt does not have CRLF line ends"; failures=$((failures + 1))
fi
unzip -p "$release" keyprep-1.14/keyprep.exe >"$out/keyprep.exe"
if ! cmp -s "$out/keyprep.exe" "$build/bin/keyprep.exe"; then
  echo "FAIL: the packaged keyprep.exe is not the one built"; failures=$((failures + 1))
fi

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
