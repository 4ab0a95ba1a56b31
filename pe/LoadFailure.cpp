#include "pe/LoadFailure.h"
#include "platform/Failure.h"
#include "platform/pure/PathText.h"
#include "pe/ImageFile.h"
#include "pe/pure/Runtimes.h"
#include "pe/pure/SideBySide.h"
#include "register/pure/HostProtocol.h"
#include <windows.h>

namespace {

// Deep enough for any real chain of servers and runtimes, small enough to stay quick on a slow share.
constexpr pe::WalkLimits ChainLimits{8, 256, true};

std::wstring Joined(const std::vector<std::wstring>& names)
{
    std::wstring text;
    for (const std::wstring& name : names)
        text += (text.empty() ? L"" : L", ") + name;
    return text;
}

// "見つからない関数: mid.dll の Foo (server.dll → mid.dll)", the chain only when it is longer than one step.
std::wstring LinkText(const std::wstring& path, const pe::MissingLink& link, pe::Machine machine, const LoadWording& text)
{
    std::wstring line = link.function.empty()
                            ? text(LoadSentence::MissingDlls, {MissingDllText(WideName(link.dll), machine, text)})
                            : text(LoadSentence::MissingFunction, {WideName(link.dll), WideName(link.function)});
    if (link.chain.size() < 2)
        return line;
    std::wstring chain = platform::FileNameOf(path);
    for (const std::string& dll : link.chain)
        chain += L" → " + WideName(dll);
    return line + L" (" + chain + L")";
}

std::optional<pe::MissingLink> FirstMissing(const std::wstring& path, const pe::ImageFacts& facts,
                                            const std::vector<pe::ImportedDll>& imports, const pe::WalkLimits& limits,
                                            bool remembered = false)
{
    DependencySearch search(path, facts.machine, remembered);
    return pe::FirstMissingLink(imports, search.Finder(), limits);
}

// "見つからないアセンブリ: Microsoft.VC90.CRT 9.0.21022.8"; nullopt when every assembly asked for is there.
std::optional<std::wstring> MissingAssemblyText(const std::wstring& path, const pe::ImageFacts& facts, const LoadWording& text)
{
    std::optional<pe::AssemblyReference> assembly = MissingAssembly(path, facts);
    if (!assembly)
        return std::nullopt;
    return text(LoadSentence::MissingAssembly, {WideName(assembly->name), WideName(assembly->version)});
}

std::optional<LoadSentence> SentenceFor(unsigned long error)
{
    switch (error) {
    case ERROR_MOD_NOT_FOUND: return LoadSentence::ModuleNotFound;
    case ERROR_PROC_NOT_FOUND: return LoadSentence::ProcedureNotFound;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH: return LoadSentence::BadFormat;
    case ERROR_DLL_INIT_FAILED: return LoadSentence::DllMain;
    case ERROR_NOACCESS: return LoadSentence::NoAccess;
    case ERROR_ACCESS_DENIED: return LoadSentence::Denied;
    default: return std::nullopt;
    }
}

} // namespace

std::wstring MissingDllText(const std::wstring& dll, pe::Machine machine, const LoadWording& text)
{
    std::optional<pe::Runtime> runtime = pe::RuntimeOf(dll);
    if (!runtime)
        return dll;
    const bool x64 = machine == pe::Machine::X64;
    std::wstring name = runtime->family == pe::RuntimeFamily::VisualBasic
                            ? text(LoadSentence::RuntimeVb, {std::wstring(runtime->version), x64 ? L"64" : L"32"})
                            : text(LoadSentence::RuntimeVc, {std::wstring(runtime->version), x64 ? L"x64" : L"x86"});
    return dll + text(LoadSentence::Install, {name});
}

std::optional<LoadRefusal> RefuseBeforeLoad(const std::wstring& path, const pe::ImageFacts& facts, const LoadWording& text)
{
    if (facts.hasClrHeader && !facts.Exports("DllRegisterServer"))
        return LoadRefusal{host_protocol::kEntryMissing, text(LoadSentence::DotNet, {})};
    // DLLs that cannot be found are left to the loader, which may know better places than these folders,
    // and so are those that side-by-side activation may serve in another version than the search path's.
    // A file refused on what the session remembers is refused only if the disk says the same now.
    const pe::WalkLimits direct{1, 0, false};
    const std::vector<pe::ImportedDll> imports = pe::SearchPathImports(facts);
    std::optional<pe::MissingLink> link = FirstMissing(path, facts, imports, direct, true);
    if (link)
        link = FirstMissing(path, facts, imports, direct);
    if (link)
        return LoadRefusal{host_protocol::kLoadFailed, LinkText(path, *link, facts.machine, text)};
    return std::nullopt;
}

std::wstring WhyLoadFailed(const std::wstring& path, const std::optional<pe::ImageFacts>& facts, unsigned long error,
                          const LoadWording& text)
{
    if (facts) {
        if (std::optional<std::wstring> assembly = MissingAssemblyText(path, *facts, text))
            return *assembly;
        std::vector<std::wstring> missing = MissingDependencies(path, *facts);
        for (std::wstring& dll : missing)
            dll = MissingDllText(dll, facts->machine, text);
        if (!missing.empty())
            return text(LoadSentence::MissingDlls, {Joined(missing)});
        if (std::optional<pe::MissingLink> link = FirstMissing(path, *facts, facts->imports, ChainLimits))
            return LinkText(path, *link, facts->machine, text);
    }
    if (error == ERROR_SUCCESS)
        return L"";
    if (std::optional<LoadSentence> sentence = SentenceFor(error))
        return text(*sentence, {std::to_wstring(error)});
    return text(LoadSentence::LoadError, {platform::SystemMessage(error, path), std::to_wstring(error)});
}

std::vector<std::wstring> DependencyFindings(const std::wstring& path, const pe::ImageFacts& facts, const LoadWording& text,
                                            bool delayed)
{
    std::vector<std::wstring> lines;
    if (facts.hasClrHeader && !facts.Exports("DllRegisterServer"))
        lines.push_back(text(LoadSentence::DotNet, {}));
    if (std::optional<std::wstring> assembly = MissingAssemblyText(path, facts, text))
        lines.push_back(*assembly);
    // A DLL of the file's own imports that is missing has its line in the tip already.
    std::optional<pe::MissingLink> link = FirstMissing(path, facts, pe::SearchPathImports(facts), ChainLimits);
    if (link && (link->chain.size() > 1 || !link->function.empty()))
        lines.push_back(LinkText(path, *link, facts.machine, text));
    if (!delayed)
        return lines;
    if (std::optional<pe::MissingLink> link = FirstMissing(path, facts, facts.delayImports, {1, 0, true}))
        lines.push_back(text(LoadSentence::DelayedInTip, {LinkText(path, *link, facts.machine, text)}));
    return lines;
}

std::vector<std::wstring> CrashFindings(const std::wstring& path, const std::optional<pe::ImageFacts>& facts,
                                        unsigned long exceptionCode, const std::wstring& delayedDll,
                                        const std::wstring& delayedFunction, const LoadWording& text)
{
    constexpr unsigned long ModuleNotFound = 0xC06D007E, ProcedureNotFound = 0xC06D007F;
    const pe::Machine machine = facts ? facts->machine : sizeof(void*) == 8 ? pe::Machine::X64 : pe::Machine::X86;
    std::vector<std::wstring> lines;
    const bool named = !delayedDll.empty() && (exceptionCode == ModuleNotFound || exceptionCode == ProcedureNotFound);
    if (named && exceptionCode == ModuleNotFound)
        lines.push_back(text(LoadSentence::DelayedDll, {MissingDllText(delayedDll, machine, text)}));
    else if (named)
        lines.push_back(text(LoadSentence::DelayedFunction, {delayedDll, delayedFunction}));
    if (facts)
        for (std::wstring& line : DependencyFindings(path, *facts, text, !named))
            lines.push_back(std::move(line));
    return lines;
}
