#!/usr/bin/env bash
# Compiles the ja_JP.UTF-8 locale into a folder of our own (for LOCPATH), once, and fails unless it
# loads. Wine takes code page 932 from the name in LC_ALL even when the C library cannot load that
# locale, yet converts file names with the charset the C library did load (ASCII then): a missing or
# half-written locale gives code page 932 with Japanese file names that cannot exist on disk.
set -euo pipefail
dir=$1
loads() { [ "$(LOCPATH="$dir" LC_ALL=ja_JP.UTF-8 locale charmap 2>&1)" = UTF-8 ]; }
loads && exit 0
mkdir -p "$dir"
exec 9>"$dir.lock"
flock 9
loads && exit 0
# Built aside and moved in whole: a run that does not wait for the lock never sees half a locale.
tmp=$(mktemp -d "$dir/.build.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
if ! localedef -i ja_JP -f UTF-8 "$tmp/ja_JP.UTF-8" >"$tmp/log" 2>&1; then
    echo "ja-locale.sh: localedef could not compile ja_JP.UTF-8 (package 'locales' missing?):" >&2
    cat "$tmp/log" >&2
    exit 1
fi
rm -rf "$dir/ja_JP.UTF-8"
mv "$tmp/ja_JP.UTF-8" "$dir/ja_JP.UTF-8"
if ! loads; then
    echo "ja-locale.sh: the compiled ja_JP.UTF-8 locale in $dir does not load" >&2
    exit 1
fi
