#include "register/pure/RegFileText.h"

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";
// regedit breaks a hex line once it reaches this many characters, before the "\".
constexpr size_t kHexLineLimit = 77;

std::wstring Quoted(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"')
            quoted += L'\\';
        quoted += c;
    }
    return quoted + L"\"";
}

// The UTF-16 units of a REG_SZ without its terminating NUL, when the text form holds it exactly.
bool PlainString(const std::vector<std::uint8_t>& data, std::wstring& text)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    text.clear();
    for (size_t i = 0; i + 2 < data.size(); i += 2) {
        wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (unit == L'\0' || unit == L'\r' || unit == L'\n')
            return false;
        text += unit;
    }
    return data[data.size() - 2] == 0 && data[data.size() - 1] == 0;
}

std::wstring HexPrefix(std::uint32_t type)
{
    if (type == kRegBinary)
        return L"hex:";
    wchar_t digits[9];
    size_t count = 0;
    do {
        digits[count++] = L"0123456789abcdef"[type % 16];
        type /= 16;
    } while (type != 0);
    std::wstring prefix = L"hex(";
    while (count > 0)
        prefix += digits[--count];
    return prefix + L"):";
}

// "xx,xx,..." wrapped as regedit wraps it; lineLength is what stands on the line before the bytes.
std::wstring HexBytes(const std::vector<std::uint8_t>& data, size_t lineLength)
{
    std::wstring text;
    for (size_t i = 0; i < data.size(); ++i) {
        text += L"0123456789abcdef"[data[i] >> 4];
        text += L"0123456789abcdef"[data[i] & 15];
        if (i + 1 == data.size())
            break;
        text += L',';
        lineLength += 3;
        if (lineLength >= kHexLineLimit) {
            text += L"\\\r\n  ";
            lineLength = 2;
        }
    }
    return text;
}

std::wstring ValueLine(const RegValue& value)
{
    std::wstring line = value.name.empty() ? L"@=" : Quoted(value.name) + L"=";
    std::wstring text;
    if (value.type == kRegSz && PlainString(value.data, text))
        return line + Quoted(text);
    if (value.type == kRegDword && value.data.size() == 4) {
        std::uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (std::uint32_t(value.data[3]) << 24);
        line += L"dword:";
        for (int shift = 28; shift >= 0; shift -= 4)
            line += L"0123456789abcdef"[(number >> shift) & 15];
        return line;
    }
    line += HexPrefix(value.type);
    return line + HexBytes(value.data, line.size());
}

} // namespace

std::wstring RegFileHeader() { return L"Windows Registry Editor Version 5.00\r\n\r\n"; }

std::wstring RegKeysText(const std::vector<RegKeyRecord>& keys)
{
    std::wstring text;
    for (const RegKeyRecord& key : keys) {
        text += L"[" + key.path + L"]" + kLineEnd;
        for (const RegValue& value : key.values)
            text += ValueLine(value) + kLineEnd;
        text += kLineEnd;
    }
    return text;
}

std::vector<std::uint8_t> Utf16LeWithBom(const std::wstring& text)
{
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    bytes.reserve(2 + text.size() * 2);
    auto unit = [&bytes](std::uint32_t u) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (wchar_t c : text) {
        auto code = static_cast<std::uint32_t>(c);
        // Only where wchar_t is 32 bits wide: a code point beyond the BMP becomes a surrogate pair.
        if (code > 0xFFFF) {
            code -= 0x10000;
            unit(0xD800 | (code >> 10));
            unit(0xDC00 | (code & 0x3FF));
        } else {
            unit(code);
        }
    }
    return bytes;
}
