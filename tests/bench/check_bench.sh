#!/usr/bin/env bash
# Runs the benchmark probe in the test tree for two short rounds; every figure must have a verdict.
set -euo pipefail
table=$("$1/bench/run-probe.sh" "$2" "$2/bench/self-test" --rounds 2 --repeats 1 | tr -d '\r')
echo "$table"
for figure in "ready, against the library floor" "against the library floor" "Format -> connect prompt shown" \
              "connect OK -> credential dialog shown" "final Yes -> outcome box shown" "max" "file, against the budget"; do
  grep -qE "^  $figure .*[0-9]x .*(met|MISSED|undecided)$" <<<"$table" || { echo "no verdict for: $figure" >&2; exit 1; }
done
grep -qE "^  plugged in -> noticed, slowest .*(met|MISSED)$" <<<"$table" || { echo "no series figures" >&2; exit 1; }
