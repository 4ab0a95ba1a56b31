#pragma once
// Lines of the registration batch files, and the name of the unregistration file.
#include <string>

// The chosen path with "Un" put before its file name (the last fileNameLength characters).
std::wstring UnregistrationPath(const std::wstring& chosenPath, size_t fileNameLength);
// A file name as the command interpreter must see it: quoted when it holds a space or a
// character that cmd treats specially, with every % doubled.
std::wstring BatchFileArgument(const std::wstring& name);
std::wstring RegistrationLine(const std::wstring& name);
std::wstring UnregistrationLine(const std::wstring& name);

// How a name is converted to a code page for the batch files, exactly or not at all: the flags for
// WideCharToMultiByte and whether to ask it whether a default character stood in. UTF-8 and GB 18030
// hold every character and refuse both the no-best-fit flag and the question, so there only broken
// surrogates fail; the code pages that allow no flags get none; all others refuse best-fit look-alikes.
struct CodePageConversion {
    unsigned long flags;
    bool askDefaultCharUsed;
};
CodePageConversion ExactConversion(unsigned codePage);
