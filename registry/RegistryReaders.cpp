#include "registry/RegistryReaders.h"

#include "platform/UniqueHandle.h"

#include <cwchar>

namespace {

// Key names stop at 255 characters on Windows; the doubling below only guards against a registry
// that hands out longer ones, up to the longest name a counted string can hold.
constexpr DWORD kFirstNameCapacity = 256;
constexpr DWORD kLongestNameCapacity = 32768;

// A name the native interface stored with a NUL inside ends there, as the text interfaces see it.
std::wstring UpToNul(const wchar_t* text, std::size_t length)
{
    return std::wstring(text, std::wmemchr(text, L'\0', length) ? std::wcslen(text) : length);
}

} // namespace

LONG GetEnumRegKey(HKEY o_RegHKEY, const std::wstring& o_SubKey, std::vector<std::wstring>& o_Keys, REGSAM o_View)
{
    o_Keys.assign(1, std::wstring());
    platform::UniqueKey key;
    if (::RegOpenKeyExW(o_RegHKEY, o_SubKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | o_View, key.put()) != ERROR_SUCCESS)
        return -1;

    std::wstring name(kFirstNameCapacity, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = 0;
        LSTATUS status;
        for (;;) {
            length = static_cast<DWORD>(name.size());
            status = ::RegEnumKeyExW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_MORE_DATA || name.size() >= kLongestNameCapacity)
                break;
            name.assign(name.size() * 2, L'\0');
        }
        if (status == ERROR_NO_MORE_ITEMS)
            return static_cast<LONG>(index);
        if (status != ERROR_SUCCESS)
            return -1;
        std::wstring entry = UpToNul(name.data(), length);
        if (index == 0)
            o_Keys[0] = std::move(entry);
        else
            o_Keys.push_back(std::move(entry));
    }
}

std::wstring GetRegData(HKEY o_RegHKEY, const std::wstring& o_RegPath, const std::wstring& o_Key)
{
    platform::UniqueKey key;
    if (::RegOpenKeyExW(o_RegHKEY, o_RegPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return {};
    return ReadTextValue(key.get(), o_Key);
}

std::wstring ReadTextValue(HKEY o_Key, const std::wstring& o_Name)
{
    // Most values fit the first buffer, so a read usually costs one call; a longer one is read again
    // with the size the registry reported (and again if it grew in between).
    std::wstring data(MAX_PATH + 1, L'\0');
    for (;;) {
        DWORD type = REG_NONE;
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        LSTATUS status = ::RegQueryValueExW(o_Key, o_Name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (status == ERROR_MORE_DATA) {
            data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return {};
        // The stored data need not end with a NUL; the text is what lies in front of the first one.
        std::size_t length = bytes / sizeof(wchar_t);
        if (length > data.size())
            length = data.size();
        data.resize(length);
        std::size_t nul = data.find(L'\0');
        if (nul != std::wstring::npos)
            data.resize(nul);
        return data;
    }
}
