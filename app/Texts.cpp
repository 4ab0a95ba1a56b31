#include "app/Texts.h"
#include "app/resource.h"
#include "pe/LoadFailure.h"
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

std::wstring LoadText(LoadSentence sentence, std::initializer_list<std::wstring> arguments)
{
    auto id = [&]() -> unsigned {
        switch (sentence) {
        case LoadSentence::MissingDlls: return IDS_WHY_MISSING_DLLS;
        case LoadSentence::MissingFunction: return IDS_WHY_MISSING_FUNCTION;
        case LoadSentence::MissingAssembly: return IDS_WHY_MISSING_ASSEMBLY;
        case LoadSentence::RuntimeVb: return IDS_RUNTIME_VB;
        case LoadSentence::RuntimeVc: return IDS_RUNTIME_VC;
        case LoadSentence::Install: return IDS_WHY_INSTALL;
        case LoadSentence::DotNet: return IDS_WHY_DOTNET;
        case LoadSentence::DelayedInTip: return IDS_TIP_DELAYED;
        case LoadSentence::DelayedDll: return IDS_WHY_DELAYED_DLL;
        case LoadSentence::DelayedFunction: return IDS_WHY_DELAYED_FUNCTION;
        case LoadSentence::ModuleNotFound: return IDS_WHY_MOD_NOT_FOUND;
        case LoadSentence::ProcedureNotFound: return IDS_WHY_PROC_NOT_FOUND;
        case LoadSentence::BadFormat: return IDS_WHY_BAD_FORMAT;
        case LoadSentence::DllMain: return IDS_WHY_DLLMAIN;
        case LoadSentence::NoAccess: return IDS_WHY_NOACCESS;
        case LoadSentence::Denied: return IDS_WHY_DENIED;
        case LoadSentence::LoadError: return IDS_WHY_LOAD_ERROR;
        }
        return 0;
    };
    return Text(id(), arguments);
}
