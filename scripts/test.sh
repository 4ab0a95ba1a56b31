#!/usr/bin/env bash
# Sets up, builds and runs every test: the pure code natively under the sanitizers, and the
# Windows tests under Wine in a prefix and X display of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh tests
ctest --test-dir build/native --output-on-failure
# Both builds, and the registration library with them, must load on Windows 7.
tests/win7-imports.sh build/x64/bin build/x86/bin
xvfb=""
if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:$((200 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 >/dev/null 2>&1 &
    xvfb=$!
fi
export WINEPREFIX=$PWD/build/x64/wineprefix
cleanup() {
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
scripts/wine-prefix.sh "$WINEPREFIX" test
scripts/ja-locale.sh build/x64/locale
# One server and its system processes for the whole run, started here so that they do not hold
# the output of the first test open.
wineserver -p
LOCPATH=$PWD/build/x64/locale LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 WINEDEBUG=-all wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
# Wine now and then fails to start a program at all under load (no output, a few milliseconds): such a
# test gets one more run; a test that fails again fails the whole.
ctest --test-dir build/x64 --output-on-failure --repeat until-pass:2
# The i686 build where a 32-bit program starts: the host without its pipe ends at once with
# ERROR_INVALID_PARAMETER (87); Wine without its 32-bit half ends it with 0, or cannot start it.
code=0
LOCPATH=$PWD/build/x64/locale LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all wine build/x86/bin/MirdalHost.exe </dev/null >/dev/null 2>&1 \
    || code=$?
if [ "$code" -ne 87 ]; then
    echo "i686 Windows tests skipped: a 32-bit program does not run under this Wine (exit code $code, not 87)."
else
    ctest --test-dir build/x86 --output-on-failure --repeat until-pass:2
fi
