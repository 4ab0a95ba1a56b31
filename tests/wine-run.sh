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
# locale, which is compiled into the build tree when the system has none. LC_ALL, because a caller's
# LC_ALL or LC_CTYPE would win over LANG. Set for the programs started, not for this shell, which
# cannot load a locale through a LOCPATH that it sets itself.
locales="$(dirname "$bindir")/locale"
if "$here/../scripts/ja-locale.sh" "$locales"; then
    locale_env=(LOCPATH="$locales" LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8)
else
    # Never the name without the locale: that gives code page 932 but no Japanese file names.
    echo "wine-run.sh: no ja_JP.UTF-8 locale; running in code page 1252, the Japanese cases skip" >&2
    locale_env=(LC_ALL=C.UTF-8 LANG=C.UTF-8)
fi
env "${locale_env[@]}" "$here/../scripts/wine-prefix.sh" "$WINEPREFIX" test
if [ -z "${DISPLAY:-}" ]; then
    exec env "${locale_env[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" wine "$exe" "$@"
fi
exec env "${locale_env[@]}" wine "$exe" "$@"
