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
