#include "browse/pure/FileText.h"
#include "platform/pure/AsciiCase.h"

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
        c = platform::UpperAscii(c);
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

namespace {

// Lower-case letters of the scripts file names commonly use, full-width Latin included, as their capitals.
wchar_t FoldCase(wchar_t c)
{
    if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        || (c >= 0x430 && c <= 0x44F))
        return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<wchar_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A)
        return static_cast<wchar_t>(c - 0x20);
    return c;
}

bool NameMatches(const std::wstring& name, const std::wstring& typed, bool partial)
{
    if (name.size() < typed.size() || (!partial && name.size() != typed.size()))
        return false;
    for (size_t i = 0; i < typed.size(); ++i)
        if (FoldCase(name[i]) != FoldCase(typed[i]))
            return false;
    return true;
}

} // namespace

int FindRowByName(const std::vector<FileRow>& rows, const std::wstring& typed, int start, bool partial, bool wrap)
{
    int count = static_cast<int>(rows.size());
    if (start < 0 || start >= count)
        start = 0;
    for (int step = 0; step < count; ++step) {
        int row = start + step;
        if (row >= count) {
            if (!wrap)
                break;
            row -= count;
        }
        if (NameMatches(rows[static_cast<size_t>(row)].name, typed, partial))
            return row;
    }
    return -1;
}
