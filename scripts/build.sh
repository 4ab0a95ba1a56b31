#!/usr/bin/env bash
# Builds Mirdal.exe, MirdalHost.exe and Pemrix32.dll for i686 (build/x86), then x86_64 (build/x64), whose
# bin/x86 gets the i686 host and library.
# With "tests", the x86_64 build also builds the Windows tests, the i686 build too where the 32-bit Wine
# is installed, and a native build the pure tests.
set -euo pipefail
cd "$(dirname "$0")/.."
with_tests=OFF
[ "${1:-}" = tests ] && with_tests=ON
for arch in x86:i686 x64:x86_64; do
    dir=build/${arch%%:*}
    tests=$with_tests
    # Without the 32-bit Wine the i686 tests could not run: build the program alone.
    [ "$dir" = build/x86 ] && [ ! -x /usr/lib/wine/wine ] && tests=OFF
    x86_bin=""
    [ "$dir" = build/x64 ] && x86_bin=$PWD/build/x86/bin
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=$tests -DMIRDAL_X86_BIN="$x86_bin" \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${arch##*:}.cmake" >/dev/null
    cmake --build "$dir"
done
if [ "$with_tests" = ON ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/native
fi
