#!/usr/bin/env bash
# Sets up, builds and starts Mirdal under Wine in the user's own prefix (WINEPREFIX, else ~/.wine).
# Without an X display it shows the window on a private Xvfb and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
scripts/wine-prefix.sh "$WINEPREFIX"
exe=build/x64/bin/Mirdal.exe
if [ -n "${DISPLAY:-}" ]; then
    exec wine "$exe"
fi
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
# A desktop window draws the frame and caption that a bare Xvfb has no window manager for.
WINEDEBUG=-all wine explorer /desktop=Mirdal,1024x768 "$exe" >/dev/null 2>&1 &
app=$!
sleep "${MIRDAL_SHOT_DELAY:-8}"
shot=$PWD/build/mirdal-window.png
import -window root -crop 1024x768+0+0 "$shot"
echo "Mirdal is running on the virtual display $display; screenshot: $shot"
echo "Press Ctrl+C to stop."
wait $app || true
