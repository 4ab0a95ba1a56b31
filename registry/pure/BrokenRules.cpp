#include "registry/pure/BrokenRules.h"
#include "pe/pure/DllSearch.h"
#include "platform/pure/AsciiCase.h"
#include "platform/pure/PathText.h"
#include "registry/pure/TypeLibText.h"

namespace {

using platform::FileNameOf;
using platform::UpperAscii;

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    return first == std::wstring::npos ? L"" : text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool HasExtension(const std::wstring& path) { return FileNameOf(path).find(L'.') != std::wstring::npos; }

enum class Where { Found, Missing, Doubt };

Where Locate(std::wstring path, const PathWorld& world)
{
    // LoadTypeLibEx records extended paths.
    if (platform::StartsWithIgnoreAsciiCase(path, L"\\\\?\\") && path.size() > 6 && path[5] == L':')
        path.erase(0, 4);
    if (path.empty() || platform::StartsWithIgnoreAsciiCase(path, L"\\\\"))
        return Where::Doubt;
    if (path.find_first_of(L"\\/:") == std::wstring::npos) {
        std::vector<std::wstring> folders;
        for (const std::wstring& folder : world.searchFolders)
            folders.push_back(ViewPath(folder, world));
        return pe::MissingDlls({path}, folders, world.exists).empty() ? Where::Found : Where::Missing;
    }
    const bool absolute = path.size() > 2 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    if (!absolute)
        return Where::Doubt;
    return world.exists(ViewPath(path, world)) ? Where::Found : Where::Missing;
}

// A program named without its extension is started as ".exe".
Where LocateProgram(const std::wstring& path, const PathWorld& world)
{
    Where where = Locate(path, world);
    return where == Where::Missing && !HasExtension(path) && Locate(path + L".exe", world) == Where::Found ? Where::Found : where;
}

std::optional<std::wstring> Missing(const std::wstring& path, Where where)
{
    return where == Where::Missing ? std::optional<std::wstring>(path) : std::nullopt;
}

// The program of a command line: quoted, or the longest prefix up to a space that is a file.
std::optional<std::wstring> MissingProgram(const std::wstring& line, const PathWorld& world)
{
    if (line.front() == L'"') {
        const size_t close = line.find(L'"', 1);
        if (close == std::wstring::npos)
            return std::nullopt;
        const std::wstring program = line.substr(1, close - 1);
        return Missing(program, LocateProgram(program, world));
    }
    std::vector<std::wstring> prefixes;
    for (size_t space = line.find(L' '); space != std::wstring::npos; space = line.find(L' ', space + 1))
        prefixes.push_back(line.substr(0, space));
    prefixes.push_back(line);
    for (auto prefix = prefixes.rbegin(); prefix != prefixes.rend(); ++prefix)
        if (LocateProgram(*prefix, world) == Where::Found)
            return std::nullopt;
    // The one to name: the first that reads as a file name, with its extension.
    std::wstring named = prefixes.back();
    for (const std::wstring& prefix : prefixes)
        if (HasExtension(prefix)) {
            named = prefix;
            break;
        }
    return Missing(named, LocateProgram(named, world));
}

} // namespace

std::wstring ViewVariable(const std::wstring& name, bool view64)
{
    if (platform::EqualIgnoreAsciiCase(name, L"ProgramFiles"))
        return view64 ? L"ProgramW6432" : L"ProgramFiles(x86)";
    if (platform::EqualIgnoreAsciiCase(name, L"CommonProgramFiles"))
        return view64 ? L"CommonProgramW6432" : L"CommonProgramFiles(x86)";
    return name;
}

std::optional<std::wstring> ExpandVariables(const std::wstring& text, const PathWorld& world)
{
    std::wstring expanded;
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find(L'%', at);
        const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            expanded += text.substr(at);
            break;
        }
        expanded += text.substr(at, open - at);
        const std::wstring name = text.substr(open + 1, close - open - 1);
        std::optional<std::wstring> value = name.empty() ? std::nullopt : world.variable(ViewVariable(name, world.view64));
        if (!value && !name.empty())
            value = world.variable(name);
        if (!value)
            return std::nullopt;
        expanded += *value;
        at = close + 1;
    }
    return expanded;
}

std::wstring ViewPath(const std::wstring& path, const PathWorld& world)
{
    // The folders of the system folder that the file system redirector leaves alone.
    static const wchar_t* const shared[] = {L"catroot\\", L"catroot2\\", L"drivers\\etc\\", L"logfiles\\", L"spool\\"};
    const std::wstring& system = world.systemFolder;
    if (system.empty() || !platform::StartsWithIgnoreAsciiCase(path, system) || (path.size() > system.size() && path[system.size()] != L'\\'))
        return path;
    const std::wstring rest = path.substr(system.size());
    for (const wchar_t* folder : shared)
        if (platform::StartsWithIgnoreAsciiCase(std::wstring_view(rest).substr(rest.empty() ? 0 : 1), folder))
            return path;
    return world.viewFolder + rest;
}

std::optional<std::wstring> MissingServer(const std::wstring& value, ServerKind kind, const PathWorld& world)
{
    std::optional<std::wstring> expanded = ExpandVariables(value, world);
    if (!expanded)
        return std::nullopt;
    std::wstring path = Trimmed(*expanded);
    if (path.empty())
        return std::nullopt;
    if (kind == ServerKind::Local)
        return MissingProgram(path, world);
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = Trimmed(path.substr(1, path.size() - 2));
    if (kind == ServerKind::TypeLib)
        path = std::wstring(RegisteredFilePath(path));
    // A .NET class is served by the runtime's shim, wherever its registration says the shim is.
    if (platform::EqualIgnoreAsciiCase(FileNameOf(path), L"mscoree.dll"))
        return Missing(path, Locate(L"mscoree.dll", world));
    return Missing(path, Locate(path, world));
}

std::vector<BrokenPart> BrokenParts(const std::vector<NamedPart>& parts)
{
    std::vector<BrokenPart> broken;
    for (const NamedPart& part : parts)
        if (part.missing)
            broken.push_back({part.subKey, *part.missing});
    if (!broken.empty() && broken.size() == parts.size())
        return {{L"", broken.front().missing}};
    return broken;
}

std::optional<std::wstring> ClassIdText(const std::wstring& text)
{
    const std::wstring id = Trimmed(text);
    if (id.size() != 38 || id.front() != L'{' || id.back() != L'}')
        return std::nullopt;
    std::wstring upper;
    for (size_t i = 0; i < id.size(); ++i) {
        const wchar_t c = UpperAscii(id[i]);
        const bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
        if (i > 0 && i < 37 && (hyphen ? c != L'-' : !hex))
            return std::nullopt;
        upper += c;
    }
    return upper;
}
