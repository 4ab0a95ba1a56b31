#!/usr/bin/env bash
# Builds Mirdal.exe and Pemrix32.dll for x86_64 (build/x64) and i686 (build/x86).
# With "tests", the x86_64 build also builds the Windows tests, and a native build the pure tests.
set -euo pipefail
cd "$(dirname "$0")/.."
with_tests=OFF
[ "${1:-}" = tests ] && with_tests=ON
for arch in x64:x86_64 x86:i686; do
    dir=build/${arch%%:*}
    tests=$with_tests
    [ "$dir" = build/x86 ] && tests=OFF  # 32-bit code cannot run here: build it, do not test it.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=$tests \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${arch##*:}.cmake" >/dev/null
    cmake --build "$dir"
done
if [ "$with_tests" = ON ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/native
fi
