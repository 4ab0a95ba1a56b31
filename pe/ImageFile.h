#pragma once
// The PE facts of a file on disk, and the DLLs it needs as the loader would find them.
#include "pe/pure/Dependencies.h"
#include "pe/pure/PeImage.h"
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// nullopt: the file cannot be read. Read through a mapped view: only the pages the tables lie in.
std::optional<pe::ImageFacts> ReadImageFile(const std::wstring& path);

// DLL names among facts.imports found in none of: the file's folder, the system folder of the image's
// bitness (SysWOW64 for x86 on 64-bit Windows, the real System32 for x64 even from a 32-bit process:
// Sysnative), the Windows folder, the folders of PATH. api-ms-win-* and ext-ms-* API-set names count as present,
// and DLLs that side-by-side activation may serve are the loader's to find.
std::vector<std::wstring> MissingDependencies(const std::wstring& path, const pe::ImageFacts& facts);

// The first assembly the image's manifest names that lies neither in its folder nor in the system's
// side-by-side store; nullopt when every one is there.
std::optional<pe::AssemblyReference> MissingAssembly(const std::wstring& path, const pe::ImageFacts& facts);

// Finds the DLLs an image needs in those folders; what it reads of each DLL is cached for the session by
// path and time of last change, so that a second image importing kernel32.dll reads nothing again.
// Remembered: where each name led when last looked for from the same folders stands, without a look at
// the disk (each costs a folder scan under Wine); for a quick check whose bad news is looked at afresh.
class DependencySearch {
public:
    DependencySearch(const std::wstring& path, pe::Machine machine, bool remembered = false);
    const pe::Module* Find(const std::string& dll);
    pe::FindModule Finder()
    {
        return [this](const std::string& dll) { return Find(dll); };
    }

private:
    std::vector<std::wstring> folders_; // the file's own folder first, then the system's two
    std::wstring lookupPrefix_;         // the folders, as the session's record of look-ups keys them
    bool remembered_;
    // By lower-case name; nullptr when no folder holds it. Keeps the modules alive through a walk.
    std::unordered_map<std::string, std::shared_ptr<const pe::Module>> found_;
};

// The image's name as the log shows it, and DLL names from the ANSI code page.
std::wstring WideName(const std::string& name);
