#include "browse/pure/FileText.h"
#include <cwchar>

std::wstring GetExtension(const std::wstring& name)
{
    size_t slash = name.find_last_of(L'\\');
    std::wstring last = slash == std::wstring::npos ? name : name.substr(slash + 1);
    size_t dot = last.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : last.substr(dot + 1);
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

std::wstring FormatFileSize(unsigned long long length)
{
    std::wstring digits = std::to_wstring(length);
    return digits.size() >= 10 ? digits : std::wstring(10 - digits.size(), L' ') + digits;
}

namespace {

std::wstring TwoDigits(int value)
{
    wchar_t buffer[8];
    std::swprintf(buffer, 8, L"%02d", value);
    return buffer;
}

} // namespace

std::wstring FormatFileDate(int year, int month, int day, int hour, int minute, const std::wstring& dateSeparator,
                            const std::wstring& timeSeparator)
{
    wchar_t yearText[8];
    std::swprintf(yearText, 8, L"%04d", year);
    return yearText + dateSeparator + TwoDigits(month) + dateSeparator + TwoDigits(day) + L" " + TwoDigits(hour)
           + timeSeparator + TwoDigits(minute);
}
