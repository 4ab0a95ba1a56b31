#include "pe/pure/SideBySide.h"
#include "pe/pure/Runtimes.h"

namespace pe {

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

// The manifest as 8-bit text: UTF-8 as it is, UTF-16 by the low byte of each unit. Only the markup and
// the identities' ASCII attributes matter here.
std::string Narrow(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return std::string(bytes.substr(3));
    const bool little = bytes.starts_with("\xFF\xFE"), big = bytes.starts_with("\xFE\xFF");
    if (!little && !big)
        return std::string(bytes);
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        char low = bytes[little ? i : i + 1], high = bytes[little ? i + 1 : i];
        text += high || low < 0 ? '?' : low;
    }
    return text;
}

// The element's name without its namespace prefix, and where its attributes start.
std::string_view LocalName(std::string_view tag, size_t& attributes)
{
    attributes = tag.find_first_of(" \t\r\n/");
    std::string_view name = tag.substr(0, attributes);
    size_t colon = name.find(':');
    return colon == name.npos ? name : name.substr(colon + 1);
}

std::string Attribute(std::string_view attributes, std::string_view wanted)
{
    for (size_t at = 0; (at = attributes.find(wanted, at)) != attributes.npos; at += wanted.size()) {
        bool starts = at == 0 || attributes[at - 1] == ' ' || attributes[at - 1] == '\t' || attributes[at - 1] == '\r' ||
                      attributes[at - 1] == '\n';
        size_t equals = attributes.find_first_not_of(" \t\r\n", at + wanted.size());
        if (!starts || equals == attributes.npos || attributes[equals] != '=')
            continue;
        size_t quote = attributes.find_first_not_of(" \t\r\n", equals + 1);
        if (quote == attributes.npos || (attributes[quote] != '"' && attributes[quote] != '\''))
            continue;
        size_t end = attributes.find(attributes[quote], quote + 1);
        if (end != attributes.npos)
            return std::string(attributes.substr(quote + 1, end - quote - 1));
    }
    return {};
}

// Identities are ASCII; anything else matches no file.
std::wstring Wide(std::string_view text)
{
    std::wstring wide;
    for (char c : text)
        wide += c < 0 ? L'?' : static_cast<wchar_t>(c);
    return wide;
}

} // namespace

std::vector<AssemblyReference> DependentAssemblies(std::string_view manifest)
{
    const std::string text = Narrow(manifest);
    std::vector<AssemblyReference> assemblies;
    bool inside = false; // a dependentAssembly element
    for (size_t open = text.find('<'); open != text.npos; open = text.find('<', open + 1)) {
        if (text.compare(open, 4, "<!--") == 0) {
            open = text.find("-->", open);
            if (open == text.npos)
                break;
            continue;
        }
        size_t close = text.find('>', open);
        if (close == text.npos)
            break;
        std::string_view tag = std::string_view(text).substr(open + 1, close - open - 1);
        const bool ending = tag.starts_with('/');
        size_t attributes = 0;
        std::string_view name = LocalName(ending ? tag.substr(1) : tag, attributes);
        if (name == "dependentAssembly" && !tag.ends_with('/'))
            inside = !ending;
        if (name != "assemblyIdentity" || ending || !inside || attributes == tag.npos)
            continue;
        std::string_view identity = tag.substr(attributes);
        AssemblyReference assembly{Attribute(identity, "name"), Attribute(identity, "version"),
                                   Attribute(identity, "processorArchitecture"), Attribute(identity, "publicKeyToken"),
                                   Attribute(identity, "language")};
        if (!assembly.name.empty())
            assemblies.push_back(std::move(assembly));
    }
    return assemblies;
}

bool ServedSideBySide(std::string_view dll)
{
    std::string name = Lower(dll);
    if (name == "comctl32.dll" || name == "gdiplus.dll")
        return true;
    std::optional<Runtime> runtime = RuntimeOf(Wide(name));
    return runtime && runtime->family == RuntimeFamily::VisualCpp && (runtime->version == L"2005" || runtime->version == L"2008");
}

bool LeftToLoader(const ImageFacts& image, std::string_view dll)
{
    return !image.dependentAssemblies.empty() || ServedSideBySide(dll);
}

std::vector<ImportedDll> SearchPathImports(const ImageFacts& image)
{
    std::vector<ImportedDll> imports;
    for (const ImportedDll& dll : image.imports)
        if (!LeftToLoader(image, dll.name))
            imports.push_back(dll);
    return imports;
}

std::vector<std::wstring> PrivateAssemblyProbes(const AssemblyReference& assembly, const std::wstring& folder)
{
    const std::wstring name = Wide(assembly.name);
    std::vector<std::wstring> probes;
    std::vector<std::wstring> cultures{L""};
    if (!assembly.language.empty() && assembly.language != "*" && Lower(assembly.language) != "neutral")
        cultures.insert(cultures.begin(), Wide(assembly.language) + L"\\");
    for (const std::wstring& culture : cultures)
        for (const std::wstring& base : {folder + culture + name, folder + culture + name + L"\\" + name})
            for (const wchar_t* extension : {L".dll", L".manifest"})
                probes.push_back(base + extension);
    return probes;
}

std::wstring SharedAssemblyPattern(const AssemblyReference& assembly, Machine machine)
{
    if (assembly.publicKeyToken.empty())
        return {};
    std::string architecture = Lower(assembly.architecture);
    if (architecture.empty() || architecture == "*")
        architecture = machine == Machine::X64 ? "amd64" : machine == Machine::Arm64 ? "arm64" : "x86";
    return Wide(architecture + "_" + Lower(assembly.name) + "_" + Lower(assembly.publicKeyToken) + "_*");
}

} // namespace pe
