#include "app/pure/StoredView.h"
#include "app/pure/PaneLayout.h"
#include <cmath>
#include <cwchar>

std::optional<int> ParseViewStyle(const std::wstring& text)
{
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    double value = std::wcstod(begin, &end);
    while (end && *end == L' ')
        ++end;
    if (end == begin || *end != L'\0')
        return std::nullopt;
    // Checked before rounding: a double outside the range of long has no whole number to convert to.
    if (!std::isfinite(value) || value < -1 || value > 4)
        return std::nullopt;
    long style = layout::RoundHalfEven(value);
    if (style < 0 || style > 3)
        return std::nullopt;
    return static_cast<int>(style);
}
