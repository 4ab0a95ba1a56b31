#!/usr/bin/env bash
# Creates a Wine prefix once (no installer dialogs) and links a Japanese font into it.
set -euo pipefail
prefix=$1
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
wineserver -w
touch "$prefix/.mirdal-ready"
