#!/usr/bin/env bash
# Creates a Wine prefix once (no installer dialogs) and links a Japanese font into it.
# With "test", windows are left unmanaged: without a window manager Wine would otherwise wait
# two seconds for one at every window that closes.
set -euo pipefail
prefix=$1
kind=${2:-user}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
# The title bar's buttons are glyphs of Wine's Marlett font (fonts-wine). Debian's Wine never reads its
# own font folder, only the prefix's Fonts folder and fontconfig's, so without this copy the buttons
# draw as the letters "0 1 r". Also done for prefixes made before.
add_marlett() {
    local fonts="$prefix/drive_c/windows/Fonts"
    if [ -d "$fonts" ] && [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
# A prefix made before the 32-bit Wine was installed has no 32-bit system DLLs: 32-bit programs then
# fail with "could not load kernel32.dll" until Wine updates the prefix.
add_32bit_half() {
    if [ -x /usr/lib/wine/wine ] && [ -d "$prefix/drive_c/windows" ] \
        && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
        rm -f "$prefix/.update-timestamp"
        wineboot -u >/dev/null 2>&1
        wineserver -w
    fi
}
if [ -f "$prefix/.mirdal-ready" ]; then
    add_marlett
    add_32bit_half
    exit 0
fi
wineboot -i >/dev/null 2>&1
for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "MS UI Gothic"; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
        /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null 2>&1
done
# Under a Japanese locale Wine asks for the Japanese system faces by name.
for face in "MS UI Gothic" "MS Gothic" "MS PGothic" "Meiryo UI" "Yu Gothic UI"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'Noto Sans CJK JP' /f >/dev/null 2>&1
done
if [ "$kind" = test ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
wineserver -w
add_marlett
touch "$prefix/.mirdal-ready"
