#!/usr/bin/env bash
# Runs the browse test of a folder that cannot be listed as an unprivileged user, in a Wine prefix of its
# own, over a root-owned folder with mode 000: root lists everything, and Wine hides broken links and
# loops, so this is the one way here to a folder the system refuses to list. Skips (77) unless run as
# root with runuser and useradd; removes the user, its prefix and the folders afterwards.
set -euo pipefail
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" -ne 0 ] || ! command -v runuser >/dev/null || ! command -v useradd >/dev/null; then
    echo "unreadable-folder: skipped: needs root, runuser and useradd to run as an unprivileged user"
    exit 77
fi
work=$(mktemp -d /tmp/mirdal-unreadable.XXXXXX)
user=mirdal$$
home=$work/user
prefix=$home/prefix
as_user=(runuser -u "$user" -- env HOME="$home" WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=C.UTF-8 LANG=C.UTF-8)
cleanup() {
    if id "$user" >/dev/null 2>&1; then
        "${as_user[@]}" wineserver -k 2>/dev/null || true
        "${as_user[@]}" wineserver -w 2>/dev/null || true
        # The user's last Wine processes may take a moment to go.
        for _ in 1 2 3 4 5; do
            userdel "$user" 2>/dev/null && break
            sleep 1
        done
    fi
    rm -rf "$work"
}
trap cleanup EXIT
useradd --no-create-home --home-dir "$home" --shell /usr/sbin/nologin "$user"
mkdir -p "$home" "$work/bin"
cp "$exe" "$work/bin/"
chown "$user:" "$home"
chmod 755 "$work"
chmod -R a+rX "$work/bin"
"${as_user[@]}" "$here/../scripts/wine-prefix.sh" "$prefix" test
# C:\unreadable\locked holds a folder, so that the tree would look for a placeholder in it.
mkdir -p "$prefix/drive_c/unreadable/locked/inner"
chmod 000 "$prefix/drive_c/unreadable/locked"
run=("${as_user[@]}" 'MIRDAL_UNREADABLE_PARENT=C:\unreadable\')
if [ -z "${DISPLAY:-}" ]; then
    run+=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi
output=$("${run[@]}" wine "$work/bin/$(basename "$exe")" \
    --gtest_filter='*AFolderThatCannotBeListed*Holds*' 2>&1) || { echo "$output"; exit 1; }
echo "$output"
grep -q '^\[       OK \]' <<<"$output"
