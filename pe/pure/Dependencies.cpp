#include "pe/pure/Dependencies.h"
#include "pe/pure/DllSearch.h"
#include <charconv>
#include <deque>

namespace pe {

namespace {

// A chain of forwarders longer than this is the loader's to judge.
constexpr int MaxForwarderHops = 8;

bool IsApiSet(const std::string& dll)
{
    return IsApiSetName(std::wstring(dll.begin(), dll.end()));
}

// "NTDLL.RtlFoo" or "api-ms-win-core-x-l1-1-0.Foo" or "KERNELBASE.#12": the DLL (".dll" added when
// the name has no extension) and the function.
bool SplitForwarder(const std::string& target, std::string& dll, ImportedFunction& function)
{
    size_t dot = target.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == target.size())
        return false;
    dll = target.substr(0, dot);
    if (dll.find('.') == std::string::npos)
        dll += ".dll";
    std::string_view rest = std::string_view(target).substr(dot + 1);
    function = {};
    if (rest[0] != '#') {
        function.name = rest;
        return true;
    }
    auto [end, error] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), function.ordinal);
    return error == std::errc() && end == rest.data() + rest.size();
}

// Whether the module provides the function, itself or through its forwarders. A forwarder into a DLL
// that cannot be found, or one that cannot be read, is given the benefit of the doubt.
bool Provides(const Module& module, const ImportedFunction& function, const FindModule& find)
{
    const Module* at = &module;
    ImportedFunction wanted = function;
    std::string dll;
    for (int hop = 0; hop < MaxForwarderHops; ++hop) {
        const std::string* target = nullptr;
        if (!at->readable)
            return true;
        if (!at->exports.Find(wanted, target))
            return false;
        if (!target || !SplitForwarder(*target, dll, wanted) || IsApiSet(dll) || !(at = find(dll)))
            return true;
    }
    return true;
}

} // namespace

ExportIndex::ExportIndex(const ImageFacts& facts)
    : names_(facts.exports.begin(), facts.exports.end()), ordinals_(facts.ordinals.begin(), facts.ordinals.end())
{
    for (const ForwardedExport& forwarder : facts.forwarders) {
        ordinalForwarders_.emplace(forwarder.ordinal, forwarder.target);
        if (!forwarder.name.empty())
            namedForwarders_.emplace(forwarder.name, forwarder.target);
    }
}

bool ExportIndex::Find(const ImportedFunction& function, const std::string*& target) const
{
    target = nullptr;
    if (function.name.empty()) {
        if (!ordinals_.count(function.ordinal))
            return false;
        if (auto forwarder = ordinalForwarders_.find(function.ordinal); forwarder != ordinalForwarders_.end())
            target = &forwarder->second;
        return true;
    }
    if (!names_.count(function.name))
        return false;
    if (auto forwarder = namedForwarders_.find(function.name); forwarder != namedForwarders_.end())
        target = &forwarder->second;
    return true;
}

std::string FunctionText(const ImportedFunction& function)
{
    return function.name.empty() ? "#" + std::to_string(function.ordinal) : function.name;
}

std::optional<MissingLink> FirstMissingLink(const std::vector<ImportedDll>& imports, const FindModule& find,
                                            const WalkLimits& limits)
{
    struct Level {
        const std::vector<ImportedDll>* imports;
        std::vector<std::string> chain; // down to the DLL whose imports these are
        int depth;
    };
    std::deque<Level> pending{{&imports, {}, 1}};
    std::unordered_set<const Module*> walked;
    while (!pending.empty()) {
        Level level = std::move(pending.front());
        pending.pop_front();
        for (const ImportedDll& dll : *level.imports) {
            if (dll.name.empty() || IsApiSet(dll.name))
                continue;
            std::vector<std::string> chain = level.chain;
            chain.push_back(dll.name);
            const Module* module = find(dll.name);
            if (!module) {
                if (limits.missingDlls)
                    return MissingLink{dll.name, "", std::move(chain)};
                continue;
            }
            for (const ImportedFunction& function : dll.functions)
                if (!Provides(*module, function, find))
                    return MissingLink{dll.name, FunctionText(function), std::move(chain)};
            if (level.depth < limits.depth && !module->system && walked.size() < limits.modules &&
                walked.insert(module).second)
                pending.push_back({&module->imports, std::move(chain), level.depth + 1});
        }
    }
    return std::nullopt;
}

} // namespace pe
