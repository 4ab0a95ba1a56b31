#pragma once
// How the system reads the file a registration names, and what of a registration counts as broken,
// decided without the registry or the file system. Whatever is in doubt counts as sound: a false
// alarm costs a working program.
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the rules ask of the system, for one registry view.
struct PathWorld {
    std::function<bool(const std::wstring&)> exists;                            // a file (not a folder) is there
    std::function<std::optional<std::wstring>(const std::wstring&)> variable;    // an environment variable
    std::wstring systemFolder; // the system folder as registrations name it: C:\Windows\System32
    std::wstring viewFolder;   // where this process finds that folder's files for the view: SysWOW64, Sysnative
    std::vector<std::wstring> searchFolders; // for a bare name: the system folder, the Windows folder, PATH
    bool view64 = true;
};

enum class ServerKind { InProc, Local, TypeLib };

// The variable a client of the view reads for a name: a 32-bit one sees "Program Files (x86)" as %ProgramFiles%.
std::wstring ViewVariable(const std::wstring& name, bool view64);

// %NAME% replaced by the client's value; nullopt where a variable is not known.
std::optional<std::wstring> ExpandVariables(const std::wstring& text, const PathWorld& world);

// A path as this process must name it to see the file the view's loader would: paths in the system folder
// go to the view's folder, except those the file system never redirects.
std::wstring ViewPath(const std::wstring& path, const PathWorld& world);

// The missing file a server value names (expanded, unquoted, as the registry's reader would name it);
// nullopt where the file is there, or in doubt: an empty or relative path, a network path, an unknown variable.
std::optional<std::wstring> MissingServer(const std::wstring& value, ServerKind kind, const PathWorld& world);

// One part of a registration that names a file: a server of a class, or a platform of a type library version.
struct NamedPart {
    std::wstring subKey;                // below the registration's key
    std::optional<std::wstring> missing; // the file, where it is not there
};
struct BrokenPart {
    std::wstring subKey; // empty: the registration's whole key
    std::wstring missing;
    bool operator==(const BrokenPart&) const = default;
};
// What to remove: the whole key when nothing it names is there, else each part that names a missing file,
// so that what still works stays.
std::vector<BrokenPart> BrokenParts(const std::vector<NamedPart>& parts);

// A class id as a program id names it ("{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"), upper-cased; nullopt for any other text.
std::optional<std::wstring> ClassIdText(const std::wstring& text);
