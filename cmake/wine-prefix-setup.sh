#!/usr/bin/env bash
# Test fixture: a fresh private Wine prefix and a persistent wineserver for the whole run,
# and, when given, a keep-alive program that holds Wine's desktop and services up until the
# clean-up. With all their output sent to /dev/null, no test waits for a Wine process that
# inherited its pipes. Usage: wine-prefix-setup.sh PREFIX [KEEP_ALIVE_EXE]
set -u
prefix="$1"
keep_alive="${2:-}"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix"
mkdir -p "$prefix"
{
  wineserver -p
  wineboot -i
  # No window manager on the virtual display: unmanaged windows avoid a 2 s wait per window.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  # A crash must fail its test, not wait in winedbg's dialog until the timeout.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
} </dev/null >/dev/null 2>&1
# The fonts, and Notepad for text files, as in any prefix that tools/run is given.
"$(dirname "${BASH_SOURCE[0]}")/wine-prefix-prepare.sh" "$prefix" </dev/null >/dev/null 2>&1
if [ -n "$keep_alive" ]; then
  nohup wine "$keep_alive" </dev/null >/dev/null 2>&1 &
  sleep 2
fi
exit 0
