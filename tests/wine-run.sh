#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, in the build tree's own prefix, never the user's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
shift
bindir=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX="${MIRDAL_TEST_PREFIX:-$(dirname "$bindir")/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Code page 932 for the ANSI interfaces, as on a Japanese system: Wine takes it from a Japanese
# locale, which is compiled into the build tree when the system has none.
"$here/../scripts/ja-locale.sh" "$(dirname "$bindir")/locale"
export LOCPATH="$(dirname "$bindir")/locale" LANG=ja_JP.UTF-8
"$here/../scripts/wine-prefix.sh" "$WINEPREFIX" test
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$exe" "$@"
fi
exec wine "$exe" "$@"
