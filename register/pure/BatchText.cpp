#include "register/pure/BatchText.h"

std::wstring UnregistrationPath(const std::wstring& chosenPath, size_t fileNameLength)
{
    size_t folderLength = fileNameLength <= chosenPath.size() ? chosenPath.size() - fileNameLength : 0;
    return chosenPath.substr(0, folderLength) + L"Un" + chosenPath.substr(folderLength);
}

std::wstring BatchFileArgument(const std::wstring& name)
{
    static constexpr wchar_t special[] = L" &()[]{}^=;!'+,`~";
    std::wstring argument;
    for (wchar_t c : name) {
        argument += c;
        if (c == L'%')
            argument += c;
    }
    if (name.find_first_of(special) != std::wstring::npos)
        argument = L"\"" + argument + L"\"";
    return argument;
}

std::wstring RegistrationLine(const std::wstring& name) { return L"REGSVR32.EXE /s " + BatchFileArgument(name); }

std::wstring UnregistrationLine(const std::wstring& name) { return L"REGSVR32.EXE /u /s " + BatchFileArgument(name); }
