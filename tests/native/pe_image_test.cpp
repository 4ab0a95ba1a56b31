// The PE reader over real images built by the cross compilers, and over every corruption of them.
#include "browse/pure/FileTip.h"
#include "register/pure/DllSearch.h"
#include "register/pure/PeImage.h"
#include "app/resource.h"

#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <set>

using Bytes = std::vector<std::uint8_t>;

namespace {

struct Sample {
    const char* file;
    pe::Machine machine;
    std::uint16_t code;
    bool server; // exports both entries, imports user32 too and carries a TYPELIB resource
};
constexpr Sample kSamples[] = {{"pe_x64_server.dll", pe::Machine::X64, 0x8664, true},
                               {"pe_x64_bare.dll", pe::Machine::X64, 0x8664, false},
                               {"pe_x86_server.dll", pe::Machine::X86, 0x014C, true},
                               {"pe_x86_bare.dll", pe::Machine::X86, 0x014C, false}};

Bytes Load(const char* file)
{
#ifdef PE_IMAGE_DIR
    std::ifstream in(std::string(PE_IMAGE_DIR) + file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
#else
    (void)file;
    return {};
#endif
}

// Each case gets a buffer of its exact length, so that a read past the end lands in ASan's red zone.
pe::ImageFacts ReadExact(const std::uint8_t* data, size_t length)
{
    Bytes copy(data, data + length);
    return pe::ReadImage(copy);
}

std::set<std::string> Lower(const std::vector<std::string>& names)
{
    std::set<std::string> lower;
    for (std::string name : names) {
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lower.insert(name);
    }
    return lower;
}

} // namespace

TEST(PeImage, ReadsWhatRealImagesHold)
{
    for (const Sample& sample : kSamples) {
        Bytes image = Load(sample.file);
        if (image.empty())
            GTEST_SKIP() << "no MinGW cross compilers: no images to read";
        SCOPED_TRACE(sample.file);
        pe::ImageFacts facts = pe::ReadImage(image);
        EXPECT_EQ(facts.machine, sample.machine);
        EXPECT_EQ(facts.machineCode, sample.code);
        EXPECT_EQ(facts.Exports("DllRegisterServer"), sample.server);
        EXPECT_EQ(facts.Exports("DllUnregisterServer"), sample.server);
        EXPECT_FALSE(facts.Exports("dllregisterserver"));
        EXPECT_EQ(facts.exports.size(), sample.server ? 2u : 0u);
        using Names = std::set<std::string>;
        EXPECT_EQ(Lower(facts.imports), (sample.server ? Names{"kernel32.dll", "user32.dll"} : Names{"kernel32.dll"}));
        EXPECT_EQ(facts.hasTypeLib, sample.server);

        // The machine field alone decides the machine; the layout follows the optional header.
        Bytes other = image;
        size_t machineAt = image[0x3C] + (image[0x3D] << 8) + 4u;
        for (auto [code, machine] : {std::pair{0xAA64, pe::Machine::Arm64}, std::pair{0x01C4, pe::Machine::Other}}) {
            other[machineAt] = code & 0xFF;
            other[machineAt + 1] = static_cast<std::uint8_t>(code >> 8);
            EXPECT_EQ(pe::ReadImage(other).machine, machine);
            EXPECT_EQ(pe::ReadImage(other).exports, facts.exports);
        }
    }
    const char text[] = "MZ not really an image";
    EXPECT_EQ(ReadExact(reinterpret_cast<const std::uint8_t*>(text), sizeof text).machine, pe::Machine::NotPe);
    EXPECT_EQ(ReadExact(nullptr, 0).machine, pe::Machine::NotPe);
}

// Every truncation, and 0x00, 0xFF and +1 at every byte: these images are all headers and tables.
TEST(PeImage, NoCorruptionReadsOutsideTheBytes)
{
    for (const Sample& sample : kSamples) {
        Bytes image = Load(sample.file);
        if (image.empty())
            GTEST_SKIP() << "no MinGW cross compilers: no images to read";
        ASSERT_LT(image.size(), 16384u) << sample.file << " is no longer a small image";
        for (size_t length = 0; length < image.size(); ++length)
            ReadExact(image.data(), length);
        size_t recognised = 0;
        Bytes flipped = image;
        for (size_t at = 0; at < image.size(); ++at) {
            for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(image[at] + 1)}) {
                flipped[at] = value;
                recognised += pe::ReadImage(flipped).machine == sample.machine;
            }
            flipped[at] = image[at];
        }
        EXPECT_GT(recognised, image.size()); // most flips leave a readable image
    }
}

TEST(DllSearch, MissingDllsAreThoseNoFolderHolds)
{
    std::set<std::wstring> files{L"C:\\app\\own.dll", L"C:\\Windows\\SysWOW64\\msvbvm60.dll", L"D:\\tools\\z.dll"};
    auto exists = [&](const std::wstring& path) { return files.count(path) > 0; };
    std::vector<std::wstring> folders{L"C:\\app\\", L"C:\\Windows\\SysWOW64", L"", L"D:\\tools"};
    std::vector<std::wstring> dlls{L"own.dll",  L"msvbvm60.dll", L"gone.dll",          L"z.dll",
                                   L"GONE.DLL", L"other.dll",    L"API-MS-WIN-crt-x.dll", L"ext-ms-win-y.dll"};
    EXPECT_EQ(pe::MissingDlls(dlls, folders, exists), (std::vector<std::wstring>{L"gone.dll", L"other.dll"}));
    EXPECT_EQ(pe::MissingDlls({L"own.dll"}, {}, exists), std::vector<std::wstring>{L"own.dll"});

    using pe::Machine, pe::SystemFolder;
    EXPECT_EQ(pe::SystemFolderFor(Machine::X86, false, true), SystemFolder::SysWow64);
    EXPECT_EQ(pe::SystemFolderFor(Machine::X86, false, false), SystemFolder::System32);
    EXPECT_EQ(pe::SystemFolderFor(Machine::X64, true, true), SystemFolder::System32);
    EXPECT_EQ(pe::SystemFolderFor(Machine::X64, false, true), SystemFolder::SysNative);

    EXPECT_EQ(pe::SplitSearchPath(L"C:\\a;;\"C:\\b c\";C:\\d\\;"),
              (std::vector<std::wstring>{L"C:\\a", L"C:\\b c", L"C:\\d\\"}));
}

TEST(FileTip, OneLinePerFactAndNeverPastTheBuffer)
{
    auto text = [](unsigned id) { return L"<" + std::to_wstring(id) + L">"; };
    FileTipFacts facts;
    EXPECT_EQ(ComposeFileTip(facts, text), text(IDS_TIP_UNREADABLE));
    facts.readable = true;
    EXPECT_EQ(ComposeFileTip(facts, text), text(IDS_TIP_MACHINE) + text(IDS_TIP_NOT_PE));
    facts = {true, pe::Machine::X86, 0x14C, true, false, true, L"1.2.3.4", L"Grid", {L"a.dll", L"b.dll"}};
    EXPECT_EQ(ComposeFileTip(facts, text), L"<150>x86\r\nDllRegisterServer: <154>\r\nDllUnregisterServer: <155>\r\n"
                                           L"<156><154>\r\n<157>1.2.3.4\r\n<158>Grid\r\n<159>a.dll, b.dll");
    facts = {true, pe::Machine::Other, 0x1C4, false, false, false, L"", L"", {}};
    EXPECT_EQ(ComposeFileTip(facts, text), L"<150><152> (0x01C4)\r\nDllRegisterServer: <155>\r\n"
                                           L"DllUnregisterServer: <155>\r\n<156><155>\r\n<159><155>");

    // A guard character after the stated size must survive every write.
    wchar_t buffer[8];
    auto write = [&](std::wstring_view tip, int size, const wchar_t* before, bool append) {
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        std::wstring_view(before).copy(buffer, std::wstring_view(before).size());
        buffer[std::wstring_view(before).size()] = L'\0';
        WriteFileTip(tip, buffer, size, append);
        EXPECT_EQ(buffer[size], L'#');
        return std::wstring(buffer);
    };
    EXPECT_EQ(write(L"abcdefgh", 5, L"", false), L"abcd");
    EXPECT_EQ(write(L"abc\xD83D\xDE00", 5, L"", false), L"abc");
    EXPECT_EQ(write(L"xyz", 7, L"ab", true), L"ab\r\nxy");
    EXPECT_EQ(write(L"xyz", 7, L"ab", false), L"xyz");
    EXPECT_EQ(write(L"xyz", 4, L"abc", true), L"abc");
    WriteFileTip(L"x", nullptr, 0, false);
}
