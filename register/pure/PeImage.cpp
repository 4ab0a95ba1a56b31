#include "register/pure/PeImage.h"
#include <algorithm>

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
constexpr std::size_t MaxNameLength = 4096;
constexpr std::size_t MaxNameBytes = 2 << 20; // all names together, however often one name is pointed at

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
        ReadTypeLib(facts);
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
        if (optionalMagic == 0x10B)
            directoryCountAt = 92;
        else if (optionalMagic == 0x20B)
            directoryCountAt = 108;
        else
            return false;
        facts.machineCode = machine;
        switch (machine) {
        case 0x014C: facts.machine = Machine::X86; break;
        case 0x8664: facts.machine = Machine::X64; break;
        case 0xAA64: facts.machine = Machine::Arm64; break;
        default: facts.machine = Machine::Other; break;
        }

        std::uint32_t headerSize = 0, directoryCount = 0;
        if (!bytes_.U32(optional + 60, headerSize))
            return false;
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
        for (std::uint32_t i = 0; i < std::min<std::uint32_t>(sectionCount, MaxSections); ++i) {
            Section s{};
            std::uint64_t at = table + 40ull * i;
            if (!bytes_.U32(at + 8, s.virtualSize) || !bytes_.U32(at + 12, s.address) ||
                !bytes_.U32(at + 16, s.rawSize) || !bytes_.U32(at + 20, s.rawOffset))
                break;
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
        std::uint64_t directory = directories_[0].address;
        std::uint32_t count = 0, names = 0;
        if (!directory || !U32At(directory + 24, count) || !U32At(directory + 32, names))
            return;
        std::string name;
        for (std::uint32_t i = 0, nameAddress = 0; i < std::min(count, MaxNames); ++i) {
            if (!U32At(names + 4ull * i, nameAddress))
                break;
            if (NameAt(nameAddress, name))
                facts.exports.push_back(name);
        }
    }

    void ReadImports(ImageFacts& facts)
    {
        std::uint64_t directory = directories_[1].address;
        if (!directory)
            return;
        std::string name;
        for (std::uint32_t i = 0, nameAddress = 0, firstThunk = 0; i < MaxImports; ++i) {
            std::uint64_t descriptor = directory + 20ull * i;
            // The list ends with a descriptor of zeros; the loader looks at its name and thunks.
            if (!U32At(descriptor + 12, nameAddress) || !U32At(descriptor + 16, firstThunk) ||
                (nameAddress == 0 && firstThunk == 0))
                break;
            if (NameAt(nameAddress, name))
                facts.imports.push_back(name);
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
    std::uint64_t headersSize_ = 0;
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
