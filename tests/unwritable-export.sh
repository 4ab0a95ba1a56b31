#!/usr/bin/env bash
# Runs the registration test of an export onto a file that cannot be written: root writes any file, so
# the file is made immutable (chattr +i) for the test's run, and mutable again afterwards whatever
# happens. Skips (77) unless run as root where chattr works.
set -euo pipefail
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
prefix="${MIRDAL_TEST_PREFIX:-$(dirname "$(dirname "$exe")")/wineprefix}"
if [ "$(id -u)" -ne 0 ] || ! command -v chattr >/dev/null; then
    echo "unwritable-export: skipped: needs root and chattr"
    exit 77
fi
"$here/../scripts/wine-prefix.sh" "$prefix" test
name=mirdal-unwritable-$$
folder=$prefix/drive_c/$name
mkdir -p "$folder"
cleanup() {
    chattr -i "$folder/locked.reg" 2>/dev/null || true
    rm -rf "$folder"
}
trap cleanup EXIT
printf 'kept as it was' >"$folder/locked.reg"
if ! chattr +i "$folder/locked.reg" 2>/dev/null; then
    echo "unwritable-export: skipped: chattr +i does not work on this file system"
    exit 77
fi
output=$(MIRDAL_UNWRITABLE_FILE="C:\\$name\\locked.reg" "$here/wine-run.sh" "$exe" \
    --gtest_filter='*ExportOntoAFileThatCannotBeWritten*' 2>&1) || { echo "$output"; exit 1; }
echo "$output"
grep -q '^\[       OK \]' <<<"$output"
