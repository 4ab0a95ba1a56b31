#pragma once
// The text of a .reg file as regedit and reg.exe import it (format version 5.00).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Registry value types, as winnt.h numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

struct RegValue {
    std::wstring name; // empty: the key's default value, written "@"
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data; // as the registry holds it: strings in UTF-16LE
    bool operator==(const RegValue&) const = default;
};

struct RegKeyRecord {
    std::wstring path; // under its real root name: HKEY_CLASSES_ROOT\CLSID\{...}
    std::vector<RegValue> values;
    bool operator==(const RegKeyRecord&) const = default;
};

// "Windows Registry Editor Version 5.00" and the empty line after it.
std::wstring RegFileHeader();

// Each key as "[path]", its values one a line, then an empty line; CR LF line ends.
// Whatever has no exact text form (a REG_SZ with an odd size, an inner NUL or a line break)
// is written as hex, so that importing the file gives back the same bytes.
std::wstring RegKeysText(const std::vector<RegKeyRecord>& keys);

// The file's bytes: a byte order mark and the text in UTF-16LE.
std::vector<std::uint8_t> Utf16LeWithBom(const std::wstring& text);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigit(wchar_t c);
// What stands for one unit after an escape: read from `at` (on the escape), left on its last
// character, appended to `text`; false when it is broken.
using Unescape = std::function<bool(const std::wstring& line, size_t& at, std::wstring& text)>;
// A quoted text at `at`, which moves past the closing quote, each escaped unit undone by `unescape`.
std::optional<std::wstring> UnquotedWith(const std::wstring& line, size_t& at, wchar_t escape, const Unescape& unescape);

// The keys of text that RegKeysText wrote, read back line by line (line ends already removed);
// nullopt when a line is not of that form.
std::optional<std::vector<RegKeyRecord>> ParseRegKeysLines(const std::vector<std::wstring>& lines);

// The keys of the whole text RegKeysText wrote; nullopt when it is not of that form.
std::optional<std::vector<RegKeyRecord>> ParseRegKeysText(const std::wstring& text);
