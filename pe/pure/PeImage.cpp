#include "pe/pure/PeImage.h"
#include "pe/pure/SideBySide.h"
#include <algorithm>
#include <map>

namespace pe {

bool ImageFacts::Exports(std::string_view name) const
{
    return std::find(exports.begin(), exports.end(), name) != exports.end();
}

namespace {

// Hostile counts end a loop here long before the bytes would; real images stay far below.
constexpr std::uint32_t MaxSections = 96;  // the loader's own limit
constexpr std::uint32_t MaxNames = 65536;
constexpr std::uint32_t MaxImports = 4096;
constexpr std::uint32_t MaxImportedFunctions = 65536; // over all DLLs of one directory
constexpr std::size_t MaxNameLength = 4096;
constexpr std::size_t MaxNameBytes = 2 << 20; // all names together, however often one name is pointed at
constexpr std::uint32_t MaxManifest = 1 << 20;
constexpr std::uint32_t ResourceSubdirectory = 0x80000000u;

struct Section {
    std::uint32_t address, virtualSize, rawSize, rawOffset;
};

// Little-endian fields at checked offsets; 64-bit arithmetic so that no sum of 32-bit fields wraps.
class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool Has(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    bool U16(std::uint64_t offset, std::uint16_t& value) const
    {
        if (!Has(offset, 2))
            return false;
        value = static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
        return true;
    }
    bool U32(std::uint64_t offset, std::uint32_t& value) const
    {
        if (!Has(offset, 4))
            return false;
        value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | bytes_[offset + static_cast<std::uint64_t>(i)];
        return true;
    }
    bool U64(std::uint64_t offset, std::uint64_t& value) const
    {
        std::uint32_t low = 0, high = 0;
        if (!U32(offset, low) || !U32(offset + 4, high))
            return false;
        value = std::uint64_t{high} << 32 | low;
        return true;
    }
    // A NUL-terminated name; false when the bytes end or the length passes the cap before the NUL.
    bool Name(std::uint64_t offset, std::string& name) const
    {
        name.clear();
        for (std::uint64_t at = offset; Has(at, 1) && name.size() <= MaxNameLength; ++at) {
            if (bytes_[at] == 0)
                return true;
            name += static_cast<char>(bytes_[at]);
        }
        return false;
    }
    // Bytes that Has() vouched for.
    std::string_view Chars(std::uint64_t offset, std::uint64_t length) const
    {
        return {reinterpret_cast<const char*>(bytes_.data() + offset), static_cast<std::size_t>(length)};
    }
private:
    std::span<const std::uint8_t> bytes_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> image) : bytes_(image) {}

    ImageFacts Read()
    {
        ImageFacts facts;
        if (!ReadHeaders(facts))
            return facts;
        ReadExports(facts);
        ReadImports(facts);
        ReadDelayImports(facts);
        ReadTypeLib(facts);
        ReadManifest(facts);
        facts.hasClrHeader = directories_[14].address != 0 && directories_[14].size != 0;
        return facts;
    }

private:
    bool ReadHeaders(ImageFacts& facts)
    {
        std::uint16_t dosMagic = 0, machine = 0, sectionCount = 0, optionalSize = 0, optionalMagic = 0;
        std::uint32_t ntOffset = 0, signature = 0;
        if (!bytes_.U16(0, dosMagic) || dosMagic != 0x5A4D || !bytes_.U32(0x3C, ntOffset))
            return false;
        std::uint64_t fileHeader = std::uint64_t{ntOffset} + 4, optional = fileHeader + 20;
        if (!bytes_.U32(ntOffset, signature) || signature != 0x00004550 || !bytes_.U16(fileHeader, machine) ||
            !bytes_.U16(fileHeader + 2, sectionCount) || !bytes_.U16(fileHeader + 16, optionalSize) ||
            !bytes_.U16(optional, optionalMagic))
            return false;
        // The layout follows the optional header's own magic; the machine field may say anything.
        std::uint64_t directoryCountAt = 0;
        if (optionalMagic == 0x10B) {
            std::uint32_t base = 0;
            directoryCountAt = 92;
            if (bytes_.U32(optional + 28, base))
                imageBase_ = base;
        } else if (optionalMagic == 0x20B) {
            directoryCountAt = 108;
            wide_ = true;
            bytes_.U64(optional + 24, imageBase_);
        } else {
            return false;
        }
        facts.machineCode = machine;
        switch (machine) {
        case 0x014C: facts.machine = Machine::X86; break;
        case 0x8664: facts.machine = Machine::X64; break;
        case 0xAA64: facts.machine = Machine::Arm64; break;
        default: facts.machine = Machine::Other; break;
        }

        std::uint32_t headerSize = 0, directoryCount = 0;
        if (!bytes_.U32(optional + 60, headerSize)) {
            facts.damaged = true;
            return false;
        }
        headersSize_ = headerSize;
        // Directories beyond the optional header's stated size are not there, whatever the count says.
        if (optionalSize >= directoryCountAt + 4 && bytes_.U32(optional + directoryCountAt, directoryCount)) {
            std::uint64_t fit = (optionalSize - directoryCountAt - 4) / 8;
            std::uint64_t count = std::min<std::uint64_t>({directoryCount, fit, 16});
            for (std::uint64_t i = 0; i < count; ++i) {
                std::uint64_t at = optional + directoryCountAt + 4 + 8 * i;
                if (!bytes_.U32(at, directories_[i].address) || !bytes_.U32(at + 4, directories_[i].size))
                    directories_[i] = {};
            }
        }

        std::uint64_t table = optional + optionalSize;
        facts.damaged = sectionCount > MaxSections || !bytes_.Has(table, 40ull * sectionCount) || !bytes_.Has(0, headerSize);
        for (std::uint32_t i = 0; i < std::min<std::uint32_t>(sectionCount, MaxSections); ++i) {
            Section s{};
            std::uint64_t at = table + 40ull * i;
            if (!bytes_.U32(at + 8, s.virtualSize) || !bytes_.U32(at + 12, s.address) ||
                !bytes_.U32(at + 16, s.rawSize) || !bytes_.U32(at + 20, s.rawOffset))
                break;
            facts.damaged = facts.damaged || (s.rawSize && !bytes_.Has(s.rawOffset, s.rawSize));
            sections_.push_back(s);
        }
        return true;
    }

    // The file offset of an address of the loaded image, when the file holds the byte there.
    bool Offset(std::uint64_t address, std::uint64_t& offset) const
    {
        if (address < headersSize_) {
            offset = address;
            return bytes_.Has(offset, 1);
        }
        for (const Section& s : sections_) {
            std::uint64_t span = s.virtualSize ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
            if (address >= s.address && address - s.address < span) {
                offset = std::uint64_t{s.rawOffset} + (address - s.address);
                return bytes_.Has(offset, 1);
            }
        }
        return false;
    }
    bool U32At(std::uint64_t address, std::uint32_t& value) const
    {
        std::uint64_t offset = 0;
        return Offset(address, offset) && bytes_.U32(offset, value);
    }
    bool NameAt(std::uint64_t address, std::string& name)
    {
        std::uint64_t offset = 0;
        if (!Offset(address, offset) || !bytes_.Name(offset, name) || name.empty() ||
            name.size() > MaxNameBytes - nameBytes_)
            return false;
        nameBytes_ += name.size();
        return true;
    }

    void ReadExports(ImageFacts& facts)
    {
        const Directory directory = directories_[0];
        std::uint32_t base = 0, functionCount = 0, count = 0, functions = 0, names = 0, nameOrdinals = 0;
        if (!directory.address || !U32At(directory.address + 24, count) || !U32At(directory.address + 32, names))
            return;
        // A function whose address lies inside the export directory is a forwarder's "DLL.Function" text.
        std::map<std::uint32_t, size_t> forwarded; // function index -> facts.forwarders
        if (U32At(directory.address + 16, base) && U32At(directory.address + 20, functionCount) &&
            U32At(directory.address + 28, functions)) {
            std::string target;
            for (std::uint32_t i = 0, address = 0; i < std::min(functionCount, MaxNames); ++i) {
                if (!U32At(functions + 4ull * i, address))
                    break;
                if (address == 0)
                    continue;
                facts.ordinals.push_back(base + i);
                if (address - std::uint64_t{directory.address} < directory.size && NameAt(address, target)) {
                    forwarded[i] = facts.forwarders.size();
                    facts.forwarders.push_back({std::string(), base + i, target});
                }
            }
        }
        const bool withOrdinals = U32At(directory.address + 36, nameOrdinals);
        std::string name;
        std::uint16_t index = 0;
        std::uint64_t indexAt = 0;
        for (std::uint32_t i = 0, nameAddress = 0; i < std::min(count, MaxNames); ++i) {
            if (!U32At(names + 4ull * i, nameAddress))
                break;
            if (!NameAt(nameAddress, name))
                continue;
            facts.exports.push_back(name);
            if (withOrdinals && Offset(nameOrdinals + 2ull * i, indexAt) && bytes_.U16(indexAt, index))
                if (auto forwarder = forwarded.find(index); forwarder != forwarded.end())
                    facts.forwarders[forwarder->second].name = name;
        }
    }

    void ReadImports(ImageFacts& facts)
    {
        ReadDescriptors(1, 20, facts.imports, [&](std::uint64_t at, std::uint32_t& name, std::uint64_t& table, std::uint64_t&) {
            std::uint32_t firstThunk = 0, lookup = 0;
            // The list ends, for the loader too, at the first descriptor without a name or without thunks.
            if (!U32At(at + 12, name) || !U32At(at + 16, firstThunk) || name == 0 || firstThunk == 0)
                return false;
            // Without a lookup table the address table holds the names until the loader binds it.
            table = U32At(at, lookup) && lookup ? lookup : firstThunk;
            return true;
        });
    }

    // Old delay-load tables hold addresses of the loaded image rather than offsets from its base.
    void ReadDelayImports(ImageFacts& facts)
    {
        ReadDescriptors(13, 32, facts.delayImports, [&](std::uint64_t at, std::uint32_t& name, std::uint64_t& table, std::uint64_t& bias) {
            std::uint32_t attributes = 0, names = 0;
            if (!U32At(at, attributes) || !U32At(at + 4, name) || !U32At(at + 16, names) || name == 0)
                return false;
            bias = attributes & 1 ? 0 : imageBase_;
            table = names;
            return true;
        });
    }

    // The descriptors of an import directory, one DLL each, up to the first that describe() refuses; it
    // gives the addresses of the DLL's name and of its table of functions, and what to take off both.
    template <class Describe>
    void ReadDescriptors(int index, std::uint64_t size, std::vector<ImportedDll>& dlls, Describe describe)
    {
        std::uint64_t directory = directories_[index].address;
        ImportedDll dll;
        for (std::uint32_t i = 0, name = 0; directory && i < MaxImports; ++i) {
            std::uint64_t table = 0, bias = 0;
            if (!describe(directory + size * i, name, table, bias))
                return;
            if (name < bias || !NameAt(name - bias, dll.name))
                continue;
            if (table >= bias)
                ReadFunctions(table - bias, bias, dll.functions);
            dlls.push_back(std::move(dll));
            dll = {};
        }
    }

    // A table of 32- or 64-bit entries up to a zero one: an ordinal with the top bit set, else the
    // address of a 16-bit hint and the name.
    void ReadFunctions(std::uint64_t table, std::uint64_t bias, std::vector<ImportedFunction>& functions)
    {
        const std::uint64_t size = wide_ ? 8 : 4, ordinalFlag = wide_ ? 1ull << 63 : 1ull << 31;
        ImportedFunction function;
        for (std::uint64_t entry = 0, offset = 0; importedFunctions_ < MaxImportedFunctions; table += size) {
            std::uint32_t narrow = 0;
            if (!Offset(table, offset) || !(wide_ ? bytes_.U64(offset, entry) : bytes_.U32(offset, narrow)))
                return;
            if (!wide_)
                entry = narrow;
            if (entry == 0)
                return;
            ++importedFunctions_;
            function.name.clear();
            function.ordinal = entry & ordinalFlag ? static_cast<std::uint16_t>(entry) : 0;
            if (entry & ordinalFlag)
                functions.push_back(function);
            else if ((entry & 0x7FFFFFFF) >= bias && NameAt((entry & 0x7FFFFFFF) - bias + 2, function.name))
                functions.push_back(function);
        }
    }

    // Only the root level: its named entries are the resource types with names rather than numbers.
    void ReadTypeLib(ImageFacts& facts) const
    {
        std::uint64_t root = directories_[2].address;
        std::uint64_t offset = 0;
        std::uint16_t named = 0;
        if (!root || !Offset(root + 12, offset) || !bytes_.U16(offset, named))
            return;
        for (std::uint32_t i = 0, entryName = 0; i < named; ++i) {
            if (!U32At(root + 16 + 8ull * i, entryName))
                return;
            if ((entryName & 0x80000000u) && IsTypeLibName(root + (entryName & 0x7FFFFFFFu))) {
                facts.hasTypeLib = true;
                return;
            }
        }
    }
    // The loader takes a DLL's manifest from resource type 24, id 2, else id 1; of its languages, the first.
    void ReadManifest(ImageFacts& facts) const
    {
        const std::uint64_t root = directories_[2].address;
        std::uint32_t type = 0, id = 0, data = 0, address = 0, size = 0;
        if (!root || !ResourceEntry(root, 24, type) || !(type & ResourceSubdirectory))
            return;
        const std::uint64_t ids = root + (type & ~ResourceSubdirectory);
        if (!(ResourceEntry(ids, 2, id) || ResourceEntry(ids, 1, id)) || !(id & ResourceSubdirectory) ||
            !ResourceEntry(root + (id & ~ResourceSubdirectory), -1, data) || (data & ResourceSubdirectory) ||
            !U32At(root + data, address) || !U32At(root + data + 4, size))
            return;
        std::uint64_t offset = 0;
        if (size <= MaxManifest && Offset(address, offset) && bytes_.Has(offset, size))
            facts.dependentAssemblies = DependentAssemblies(bytes_.Chars(offset, size));
    }
    // The numbered entry of a resource directory with this id, or its first when id is negative: where it
    // points from the resource root, the high bit set for a subdirectory.
    bool ResourceEntry(std::uint64_t directory, std::int64_t id, std::uint32_t& target) const
    {
        std::uint64_t offset = 0;
        std::uint16_t named = 0, numbered = 0;
        if (!Offset(directory + 12, offset) || !bytes_.U16(offset, named) || !bytes_.U16(offset + 2, numbered))
            return false;
        for (std::uint32_t i = named, entryId = 0; i < std::uint32_t{named} + numbered; ++i) {
            if (!U32At(directory + 16 + 8ull * i, entryId) || !U32At(directory + 20 + 8ull * i, target))
                return false;
            if (id < 0 || entryId == id)
                return true;
        }
        return false;
    }
    // A counted UTF-16 name, compared as the resource functions do: without regard to case.
    bool IsTypeLibName(std::uint64_t address) const
    {
        static constexpr std::string_view typeLib = "TYPELIB";
        std::uint64_t offset = 0;
        std::uint16_t length = 0, c = 0;
        if (!Offset(address, offset) || !bytes_.U16(offset, length) || length != typeLib.size())
            return false;
        for (std::size_t i = 0; i < typeLib.size(); ++i) {
            if (!bytes_.U16(offset + 2 + 2 * i, c))
                return false;
            if (c >= 'a' && c <= 'z')
                c = static_cast<std::uint16_t>(c - 'a' + 'A');
            if (c != static_cast<std::uint16_t>(typeLib[i]))
                return false;
        }
        return true;
    }

    struct Directory {
        std::uint32_t address = 0, size = 0;
    };
    Bytes bytes_;
    std::uint64_t headersSize_ = 0, imageBase_ = 0;
    bool wide_ = false; // PE32+
    std::uint32_t importedFunctions_ = 0;
    std::size_t nameBytes_ = 0;
    Directory directories_[16];
    std::vector<Section> sections_;
};

} // namespace

ImageFacts ReadImage(std::span<const std::uint8_t> image)
{
    return Reader(image).Read();
}

} // namespace pe
