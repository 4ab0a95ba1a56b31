#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build, the run and the tests need and is missing, and the
# 32-bit Wine where this machine's kernel runs 32-bit code.
set -euo pipefail
packages=(cmake ninja-build g++ python3 googletest libgtest-dev mingw-w64 mingw-w64-tools
          wine wine64 fonts-wine xvfb xauth x11-utils fonts-noto-cjk imagemagick locales)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
apt_install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    apt_install "${missing[@]}"
fi

# Once wine32 is installed, Debian's wine starts every program through its 32-bit loader: on a kernel
# that cannot run 32-bit code that would break the 64-bit half too, so the loader must prove itself.
# A kernel found unable is remembered, so that later runs do not install and remove it again.
no32=/var/tmp/mirdal-no-wine32-$(uname -r)
loader_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
drop_wine32() {
    $sudo apt-get remove -y -qq wine32:i386 >/dev/null 2>&1 || true
    echo "32-bit Wine: $1; the 64-bit half is built, run and tested alone."
}
if installed wine32:i386; then
    loader_runs || { drop_wine32 "installed, but this kernel cannot run its 32-bit loader"; $sudo touch "$no32"; }
elif [ ! -e "$no32" ] && [ "$(dpkg --print-architecture)" = amd64 ]; then
    echo "Installing: wine32:i386"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    if ! { $sudo apt-get update -qq && apt_install wine32:i386; }; then
        drop_wine32 "could not be installed"
    elif ! loader_runs; then
        drop_wine32 "this kernel cannot run its 32-bit loader"
        $sudo touch "$no32"
    fi
fi
