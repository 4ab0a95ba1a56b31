#!/usr/bin/env bash
# Compiles the ja_JP.UTF-8 locale into a folder of our own (for LOCPATH), once.
set -euo pipefail
dir=$1
[ -f "$dir/ja_JP.UTF-8/LC_CTYPE" ] && exit 0
mkdir -p "$dir"
exec 9>"$dir.lock"
flock 9
[ -f "$dir/ja_JP.UTF-8/LC_CTYPE" ] && exit 0
localedef -i ja_JP -f UTF-8 "$dir/ja_JP.UTF-8" >/dev/null 2>&1 || true
