#pragma once
// Which listed files are registered type libraries: a walk of HKEY_CLASSES_ROOT\TypeLib, free of any window.
#include <optional>
#include <string>
#include <vector>

// One row of the file list as the scan reads it.
struct ListedFile {
    std::wstring text; // the bare file name
    std::wstring key;  // the full path
};

// One registered type library whose file name matches a listed file.
struct RegisteredLibrary {
    std::wstring name;     // default value of the last listed version key
    std::wstring versions; // every version key, converted, in reverse registry order
    std::wstring path;     // registered path of this platform, as read
    std::wstring guid;     // the library's key name, with its braces
    bool sameFile = false; // the path is the matching listed file's own path
};

// Rows in the order the registry lists the libraries; std::nullopt when "TypeLib" cannot be listed.
// The first listed file of the registered file name (case ignored, user locale) is the match.
std::optional<std::vector<RegisteredLibrary>> ScanRegisteredLibraries(const std::vector<ListedFile>& o_Files);
