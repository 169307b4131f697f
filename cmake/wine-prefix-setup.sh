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
  # Text files open in Notepad, as on any Windows installation; a fresh prefix lacks it.
  wine reg add 'HKCR\.txt' /ve /d txtfile /f
  wine reg add 'HKCR\txtfile\shell\open\command' /ve /d 'notepad.exe "%1"' /f
  # A crash must fail its test, not wait in winedbg's dialog until the timeout.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
} </dev/null >/dev/null 2>&1
# Debian's Wine does not look in the fonts-wine folder by itself.
mkdir -p "$prefix/drive_c/windows/Fonts"
ln -sf /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null
if [ -n "$keep_alive" ]; then
  nohup wine "$keep_alive" </dev/null >/dev/null 2>&1 &
  sleep 2
fi
exit 0
