#include "browse/pure/FileText.h"

std::wstring GetExtension(const std::wstring& name)
{
    size_t dot = name.find_last_of(L'.');
    size_t slash = name.find_last_of(L'\\');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return std::wstring();
    return name.substr(dot + 1);
}

std::wstring UpperAscii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

bool IsListedExtension(const std::wstring& upperExtension)
{
    return upperExtension == L"DLL" || upperExtension == L"OCX";
}

namespace {

// Appends a non-negative number with at least the given number of digits; no formatting library in the
// way, as every listed file needs a handful of these.
void AppendNumber(std::wstring& text, unsigned long long value, size_t width, wchar_t fill)
{
    wchar_t digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value);
    if (width > count)
        text.append(width - count, fill);
    while (count)
        text += digits[--count];
}

} // namespace

std::wstring FormatFileSize(unsigned long long length)
{
    std::wstring text;
    text.reserve(10);
    AppendNumber(text, length, 10, L' ');
    return text;
}

std::wstring FormatFileDate(int year, int month, int day, int hour, int minute, const std::wstring& dateSeparator,
                            const std::wstring& timeSeparator)
{
    std::wstring text;
    text.reserve(13 + 2 * dateSeparator.size() + timeSeparator.size());
    AppendNumber(text, static_cast<unsigned>(year), 4, L'0');
    text += dateSeparator;
    AppendNumber(text, static_cast<unsigned>(month), 2, L'0');
    text += dateSeparator;
    AppendNumber(text, static_cast<unsigned>(day), 2, L'0');
    text += L' ';
    AppendNumber(text, static_cast<unsigned>(hour), 2, L'0');
    text += timeSeparator;
    AppendNumber(text, static_cast<unsigned>(minute), 2, L'0');
    return text;
}
