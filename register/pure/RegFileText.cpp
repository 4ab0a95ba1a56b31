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

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

std::optional<std::wstring> UnquotedWith(const std::wstring& line, size_t& at, wchar_t escape, const Unescape& unescape)
{
    if (at >= line.size() || line[at] != L'"')
        return std::nullopt;
    std::wstring text;
    for (++at; at < line.size(); ++at) {
        wchar_t c = line[at];
        if (c == L'"') {
            ++at;
            return text;
        }
        if (c != escape)
            text += c;
        else if (!unescape(line, at, text))
            return std::nullopt;
    }
    return std::nullopt;
}

namespace {

// A quoted text starting at `at`, with "\\" and "\"" undone; `at` moves past the closing quote.
std::optional<std::wstring> Unquoted(const std::wstring& line, size_t& at)
{
    return UnquotedWith(line, at, L'\\', [](const std::wstring& text, size_t& escape, std::wstring& out) {
        if (++escape >= text.size())
            return false;
        out += text[escape];
        return true;
    });
}

std::optional<std::vector<std::uint8_t>> HexList(const std::wstring& text)
{
    std::vector<std::uint8_t> bytes;
    for (size_t at = 0; at < text.size();) {
        if (text[at] == L',' || text[at] == L' ') {
            ++at;
            continue;
        }
        if (at + 1 >= text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1])));
        at += 2;
    }
    return bytes;
}

// The value of a line, its hex continued over the lines after it; `index` moves past what was read.
std::optional<RegValue> ParseValue(const std::vector<std::wstring>& lines, size_t& index)
{
    const std::wstring& line = lines[index++];
    RegValue value;
    size_t at = 0;
    if (line.starts_with(L"@=")) {
        at = 1;
    } else {
        std::optional<std::wstring> name = Unquoted(line, at);
        if (!name || at >= line.size() || line[at] != L'=')
            return std::nullopt;
        value.name = *name;
    }
    ++at;
    if (line.compare(at, 1, L"\"") == 0) {
        std::optional<std::wstring> text = Unquoted(line, at);
        if (!text || at != line.size())
            return std::nullopt;
        value.type = kRegSz;
        std::vector<std::uint8_t> bytes = Utf16LeWithBom(*text + L'\0');
        value.data.assign(bytes.begin() + 2, bytes.end());
        return value;
    }
    if (line.compare(at, 6, L"dword:") == 0) {
        std::optional<std::vector<std::uint8_t>> bytes = HexList(line.substr(at + 6));
        if (!bytes || bytes->size() != 4 || line.size() != at + 14)
            return std::nullopt;
        value.type = kRegDword;
        value.data.assign(bytes->rbegin(), bytes->rend());
        return value;
    }
    if (line.compare(at, 4, L"hex:") == 0) {
        value.type = kRegBinary;
        at += 4;
    } else if (line.compare(at, 4, L"hex(") == 0) {
        size_t close = line.find(L"):", at);
        if (close == std::wstring::npos || close == at + 4 || close > at + 12)
            return std::nullopt;
        std::uint32_t type = 0;
        for (size_t i = at + 4; i < close; ++i) {
            if (HexDigit(line[i]) < 0)
                return std::nullopt;
            type = type * 16 + static_cast<std::uint32_t>(HexDigit(line[i]));
        }
        value.type = type;
        at = close + 2;
    } else {
        return std::nullopt;
    }
    std::wstring hex = line.substr(at);
    while (hex.ends_with(L'\\')) {
        if (index >= lines.size() || !lines[index].starts_with(L"  "))
            return std::nullopt;
        hex.pop_back();
        hex += lines[index++];
    }
    std::optional<std::vector<std::uint8_t>> bytes = HexList(hex);
    if (!bytes)
        return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

} // namespace

std::optional<std::vector<RegKeyRecord>> ParseRegKeysLines(const std::vector<std::wstring>& lines)
{
    std::vector<RegKeyRecord> keys;
    for (size_t index = 0; index < lines.size();) {
        const std::wstring& line = lines[index];
        if (line.empty()) {
            ++index;
        } else if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
            keys.push_back({line.substr(1, line.size() - 2), {}});
            ++index;
        } else {
            std::optional<RegValue> value = keys.empty() ? std::nullopt : ParseValue(lines, index);
            if (!value)
                return std::nullopt;
            keys.back().values.push_back(std::move(*value));
        }
    }
    return keys;
}

std::optional<std::vector<RegKeyRecord>> ParseRegKeysText(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(kLineEnd, start);
        if (end == std::wstring::npos)
            return std::nullopt;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return ParseRegKeysLines(lines);
}
