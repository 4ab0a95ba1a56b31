#pragma once
// The stored "View" setting.
#include <optional>
#include <string>

// The view style a stored text names: the text read as a number, taken to the nearest whole number
// (halves to even), when that is 0 to 3. Anything else (no number, not finite, out of range) names none.
std::optional<int> ParseViewStyle(const std::wstring& text);
