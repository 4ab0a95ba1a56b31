#pragma once
// What a DLL or OCX file says about itself in its PE headers, read from its bytes without loading it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pe {

enum class Machine { NotPe, X86, X64, Arm64, Other };

struct ImageFacts {
    Machine machine = Machine::NotPe;
    std::uint16_t machineCode = 0;    // IMAGE_FILE_HEADER.Machine when a PE
    std::vector<std::string> exports; // exported names
    std::vector<std::string> imports; // DLL names of the import directory
    bool hasTypeLib = false;          // has a "TYPELIB" resource (named type in the resource directory)
    bool Exports(std::string_view name) const;
};

// Never reads outside the bytes given and never throws on bad bytes: what cannot be read is left out.
ImageFacts ReadImage(std::span<const std::uint8_t> image);

} // namespace pe
