#!/usr/bin/env bash
# Gives a Wine prefix what keyprep needs to look and work as it does on Windows, adding
# only what is missing and replacing nothing, so that it is safe on a prefix of one's own:
# the fonts of the fonts-wine package, which Debian's Wine does not find by itself (without
# them the close box is drawn as "r" and dialogs use other glyphs), and Notepad for text
# files, which the Help command opens. A prefix that does not exist yet is made, 32-bit.
# Usage: wine-prefix-prepare.sh PREFIX
set -u
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  WINEARCH=win32 wineboot -i </dev/null >/dev/null 2>&1
fi
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*.ttf; do
  [ -e "$font" ] && [ ! -e "$fonts/${font##*/}" ] && ln -s "$font" "$fonts/"
done
if ! wine reg query 'HKCR\.txt' /ve </dev/null >/dev/null 2>&1; then
  {
    wine reg add 'HKCR\.txt' /ve /d txtfile /f
    wine reg add 'HKCR\txtfile\shell\open\command' /ve /d 'notepad.exe "%1"' /f
  } </dev/null >/dev/null 2>&1
fi
exit 0
