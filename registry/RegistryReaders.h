#pragma once
// Read-only access to the registry: the sub-key names of a key, and one value of a key as text.
#include <windows.h>
#include <string>
#include <vector>

// Lists the sub-keys of o_SubKey below o_RegHKEY into o_Keys, in the order the registry hands them out.
// Returns their count, or -1 when the key cannot be opened or the listing fails. With a count of 0, or
// -1 before any name was read, o_Keys holds one empty element; names read before a failure stay.
// o_View (KEY_WOW64_32KEY or KEY_WOW64_64KEY) keeps a 32-bit process in a view whose key has a Wow6432Node.
LONG GetEnumRegKey(HKEY o_RegHKEY, const std::wstring& o_SubKey, std::vector<std::wstring>& o_Keys, REGSAM o_View = 0);

// The value o_Key ("" for the default value) of the key o_RegPath below o_RegHKEY as text. String
// values (REG_EXPAND_SZ unexpanded) up to their first NUL; any other type, and any failure, give "".
std::wstring GetRegData(HKEY o_RegHKEY, const std::wstring& o_RegPath, const std::wstring& o_Key);

// The value o_Key of an open key as text, read as GetRegData reads it.
std::wstring ReadTextValue(HKEY o_Key, const std::wstring& o_Name);
