#!/usr/bin/env bash
# Fails when a shipped binary imports a function that Windows 7 SP1 lacks: such a binary does not
# even load there. Reads the import tables of every .exe and .dll in the given bin folders, leaving out
# the test, benchmark and demonstration programs and the test fixtures.
set -euo pipefail

# Newer than Windows 7, and the ones a Win32 program is most likely to pick up by accident. A function
# that is missing is reported by name; GetTickCount64, the *Ex locale functions and FindFirstFileExW's
# large fetch are Windows 7 or older and fine.
newer=(
    # Per-monitor DPI (Windows 8.1 and 10): resolved at run time in platform/Dpi.cpp.
    GetDpiForWindow GetDpiForSystem GetSystemMetricsForDpi SystemParametersInfoForDpi AdjustWindowRectExForDpi
    SetThreadDpiAwarenessContext SetProcessDpiAwarenessContext EnableNonClientDpiScaling
    GetDpiForMonitor SetProcessDpiAwareness
    # Windows 8: precise time, address waits (C++ runtimes like them), packaged libraries, pointer input, CreateFile2.
    GetSystemTimePreciseAsFileTime WaitOnAddress WakeByAddressSingle WakeByAddressAll
    LoadPackagedLibrary GetCurrentPackageId GetPointerInfo GetPointerType EnableMouseInPointer CreateFile2
    # Windows 10: thread names, and the *2 successors of older calls.
    SetThreadDescription GetThreadDescription VirtualAlloc2 MapViewOfFile3 CreateProcessAsUserW2
)
# Whole libraries that Windows 7 does not have.
newer_dlls=(shcore.dll api-ms-win-core-synch-l1-2-0.dll api-ms-win-core-path-l1-1-0.dll)

failed=0
checked=0
for bin in "$@"; do
    [ -d "$bin" ] || { echo "win7-imports: no folder $bin" >&2; failed=1; continue; }
    case "$(basename "$(dirname "$bin")")" in
        x86) objdump=i686-w64-mingw32-objdump ;;
        *) objdump=x86_64-w64-mingw32-objdump ;;
    esac
    for file in "$bin"/*.exe "$bin"/*.dll; do
        [ -f "$file" ] || continue
        case "$(basename "$file")" in *_test.exe | *_bench.exe | *_demo.exe) continue ;; esac
        imports=$("$objdump" -p "$file" | sed -n '/^The Import Tables/,/^The Export Tables\|^The Function Table\|^PE File Base Relocations/p')
        names=$(awk 'NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print $3}' <<<"$imports")
        dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$imports" | tr 'A-Z' 'a-z')
        for name in "${newer[@]}"; do
            if grep -qx "$name" <<<"$names"; then
                echo "$file imports $name, which Windows 7 lacks" >&2
                failed=1
            fi
        done
        for dll in "${newer_dlls[@]}"; do
            if grep -qx "$dll" <<<"$dlls"; then
                echo "$file imports from $dll, which Windows 7 lacks" >&2
                failed=1
            fi
        done
        [ -n "$names" ] || { echo "$file: no import table read" >&2; failed=1; }
        checked=$((checked + 1))
    done
done
[ "$checked" -gt 0 ] || { echo "win7-imports: no binary checked" >&2; exit 1; }
[ "$failed" -eq 0 ] && echo "win7-imports: $checked binaries load on Windows 7"
exit "$failed"
