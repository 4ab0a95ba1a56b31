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

CodePageConversion ExactConversion(unsigned codePage)
{
    constexpr unsigned long NoBestFitChars = 0x400; // WC_NO_BEST_FIT_CHARS
    constexpr unsigned long ErrInvalidChars = 0x80; // WC_ERR_INVALID_CHARS
    if (codePage == 65001 || codePage == 54936)
        return {ErrInvalidChars, false};
    if (codePage == 65000)
        return {0, false};
    if (codePage == 42 || (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011))
        return {0, true};
    return {NoBestFitChars, true};
}
