#include "app/Texts.h"
#include <windows.h>

std::wstring Text(unsigned id)
{
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::wstring Text(unsigned id, std::initializer_list<std::wstring> arguments)
{
    std::wstring text = Text(id);
    int number = 1;
    for (const std::wstring& argument : arguments) {
        std::wstring mark = L"%" + std::to_wstring(number++);
        size_t at = text.find(mark);
        if (at != std::wstring::npos)
            text.replace(at, mark.size(), argument);
    }
    return text;
}
