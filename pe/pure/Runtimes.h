#pragma once
// The redistributable runtime that a DLL belongs to, known by its name alone.
#include <optional>
#include <string_view>

namespace pe {

enum class RuntimeFamily { VisualBasic, VisualCpp };

struct Runtime {
    RuntimeFamily family;
    std::wstring_view version; // "6.0" for Visual Basic, the release year ("2015-2022") for Visual C++
    bool operator==(const Runtime&) const = default;
};

// MSVBVM50/60; MSVCR70 to MSVCR120, MSVCP*, VCRUNTIME140*, MFC*, ATL* and VCOMP* of those versions.
// Debug builds (a "D" after the number) and DLLs that Windows itself carries (MSVCRT, MFC42) are none.
std::optional<Runtime> RuntimeOf(std::wstring_view dll);

} // namespace pe
