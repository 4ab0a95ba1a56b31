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
    const std::wstring text = Text(id);
    std::wstring out;
    for (size_t at = 0; at < text.size(); ++at) {
        size_t index = at + 1 < text.size() ? static_cast<size_t>(text[at + 1] - L'1') : arguments.size();
        if (text[at] == L'%' && index < arguments.size()) {
            out += arguments.begin()[index];
            ++at;
        } else {
            out += text[at];
        }
    }
    return out;
}
