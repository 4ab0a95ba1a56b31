#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build, the run and the tests need and is missing.
set -euo pipefail
packages=(cmake ninja-build g++ python3 googletest libgtest-dev mingw-w64 mingw-w64-tools
          wine wine64 fonts-wine xvfb xauth x11-utils fonts-noto-cjk imagemagick locales)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
