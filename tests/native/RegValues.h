#pragma once
// Registry values as the pure code takes them.
#include "register/pure/RegFileText.h"

// The text as UTF-16LE without a byte order mark, ended by a NUL unless told otherwise.
inline std::vector<std::uint8_t> Utf16(const std::wstring& text, bool terminated = true)
{
    std::vector<std::uint8_t> bytes = Utf16LeWithBom(terminated ? text + L'\0' : text);
    return {bytes.begin() + 2, bytes.end()};
}

inline RegValue Sz(const std::wstring& name, const std::wstring& text) { return {name, kRegSz, Utf16(text)}; }
