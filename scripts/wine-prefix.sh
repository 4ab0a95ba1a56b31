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
[ -f "$prefix/.mirdal-ready" ] && exit 0
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
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
touch "$prefix/.mirdal-ready"
