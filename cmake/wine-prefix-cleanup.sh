#!/usr/bin/env bash
# Test fixture clean-up: stop the run's wineserver and every Wine process with it.
WINEPREFIX="$1" wineserver -k </dev/null >/dev/null 2>&1
exit 0
