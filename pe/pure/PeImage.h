#pragma once
// What a DLL or OCX file says about itself in its PE headers, read from its bytes without loading it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pe {

enum class Machine { NotPe, X86, X64, Arm64, Other };

// One function an image takes from a DLL: by name, or by ordinal when the name is empty.
struct ImportedFunction {
    std::string name;
    std::uint16_t ordinal = 0;
};

struct ImportedDll {
    std::string name;
    std::vector<ImportedFunction> functions; // those whose entries could be read
};

// An export that the loader resolves in another DLL: "DLL.Function" or "DLL.#ordinal".
struct ForwardedExport {
    std::string name;       // empty when the export has no name
    std::uint32_t ordinal;
    std::string target;
};

// An assembly a manifest depends on, its identity's attributes as written; empty where absent.
struct AssemblyReference {
    std::string name, version, architecture, publicKeyToken, language;
};

struct ImageFacts {
    Machine machine = Machine::NotPe;
    std::uint16_t machineCode = 0;          // IMAGE_FILE_HEADER.Machine when a PE
    std::vector<std::string> exports;       // exported names
    std::vector<std::uint32_t> ordinals;    // ordinals of the exports that have an address, ascending
    std::vector<ForwardedExport> forwarders;
    std::vector<ImportedDll> imports;       // the import directory
    std::vector<ImportedDll> delayImports;  // loaded on first call; never a reason the file fails to load
    bool hasTypeLib = false;                // has a "TYPELIB" resource (named type in the resource directory)
    bool hasClrHeader = false;              // a .NET assembly, pure or mixed
    std::vector<AssemblyReference> dependentAssemblies; // named by its own manifest (resource 24, id 2 or 1)
    // Headers or sections that do not fit in the bytes (a file cut short, sizes that do not add up): the
    // loader refuses such a file, whatever its machine.
    bool damaged = false;
    bool Exports(std::string_view name) const;
};

// Never reads outside the bytes given and never throws on bad bytes: what cannot be read is left out.
ImageFacts ReadImage(std::span<const std::uint8_t> image);

} // namespace pe
