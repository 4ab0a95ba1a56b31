#pragma once
// Whether the DLLs an image imports give it every function it takes from them, down the chain of
// their own imports, decided from their export tables without loading anything.
#include "pe/pure/PeImage.h"
#include "pe/pure/SideBySide.h"
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace pe {

// An export table indexed for the loader's lookups: by exact name and by ordinal.
class ExportIndex {
public:
    explicit ExportIndex(const ImageFacts& facts);
    // Whether the function is exported; target is set to the forwarder's "DLL.Function" when forwarded.
    bool Find(const ImportedFunction& function, const std::string*& target) const;

private:
    std::unordered_set<std::string> names_;
    std::unordered_set<std::uint32_t> ordinals_;
    std::unordered_map<std::string, std::string> namedForwarders_;
    std::unordered_map<std::uint32_t, std::string> ordinalForwarders_;
};

// What the walk needs of one DLL found on disk.
struct Module {
    Module(const ImageFacts& facts, bool system)
        : imports(SearchPathImports(facts)), exports(facts), readable(facts.machine != Machine::NotPe), system(system)
    {
    }
    std::vector<ImportedDll> imports; // those that side-by-side activation cannot redirect
    ExportIndex exports;
    bool readable; // a file that is no image is the loader's to reject, not a missing function
    bool system;   // in a folder of Windows itself: its own imports are not walked
};

// The module a DLL name stands for, as the loader would find it for the image being checked; nullptr
// when no folder holds it.
using FindModule = std::function<const Module*(const std::string& dll)>;

struct MissingLink {
    std::string dll;                // the DLL not found, or the one that lacks the function
    std::string function;           // empty for a missing DLL; "#n" for an ordinal
    std::vector<std::string> chain; // the DLLs from the image's first import down to dll
};

struct WalkLimits {
    int depth = 1;           // 1: the image's own imports only
    size_t modules = 256;    // DLLs whose imports are walked, at most
    bool missingDlls = true; // whether a DLL that no folder holds is a missing link
};

// The first missing link, level by level: every import of one level is checked before the walk goes
// down, so that the link nearest to the image is named. Each DLL is walked once, whatever the cycles.
std::optional<MissingLink> FirstMissingLink(const std::vector<ImportedDll>& imports, const FindModule& find,
                                            const WalkLimits& limits);

// The way a function stands in a line of the log: its name, or "#" and its ordinal.
std::string FunctionText(const ImportedFunction& function);

} // namespace pe
