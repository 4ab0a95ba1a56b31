// The PE reader over real images built by the cross compilers, and over every corruption of them.
#include "browse/pure/FileTip.h"
#include "pe/pure/Dependencies.h"
#include "pe/pure/DllSearch.h"
#include "pe/pure/Runtimes.h"
#include "pe/pure/PeImage.h"
#include "pe/pure/SideBySide.h"

#include <gtest/gtest.h>
#include <fstream>
#include <cwchar>
#include <iterator>
#include <map>
#include <set>

using Bytes = std::vector<std::uint8_t>;
using Names = std::set<std::string>;

namespace {

struct Sample {
    const char* file;
    pe::Machine machine;
    std::uint16_t code;
    bool server; // exports both entries and a forwarder, imports user32 too and carries a TYPELIB resource and a manifest
};
constexpr Sample kSamples[] = {{"pe_x64_server.dll", pe::Machine::X64, 0x8664, true}, {"pe_x64_bare.dll", pe::Machine::X64, 0x8664, false},
                               {"pe_x86_server.dll", pe::Machine::X86, 0x014C, true}, {"pe_x86_bare.dll", pe::Machine::X86, 0x014C, false}};

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
        EXPECT_EQ(facts.exports.size(), sample.server ? 3u : 0u);
        std::vector<std::string> dlls, functions;
        for (const pe::ImportedDll& dll : facts.imports) {
            dlls.push_back(dll.name);
            for (char& c : dlls.back())
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (const pe::ImportedFunction& function : dll.functions)
                functions.push_back(function.name);
        }
        EXPECT_EQ(Names(dlls.begin(), dlls.end()), (sample.server ? Names{"kernel32.dll", "user32.dll"} : Names{"kernel32.dll"}));
        EXPECT_EQ(Names(functions.begin(), functions.end()),
                  (sample.server ? Names{"GetTickCount", "MessageBeep"} : Names{"GetTickCount"}));
        EXPECT_EQ(facts.hasTypeLib, sample.server);
        // The server's third export is a forwarder.
        EXPECT_EQ(facts.ordinals.size(), sample.server ? 3u : 0u);
        ASSERT_EQ(facts.forwarders.size(), sample.server ? 1u : 0u);
        if (sample.server)
            EXPECT_EQ(facts.forwarders[0].name + "=" + facts.forwarders[0].target, "MirdalBeep=kernel32.Beep");
        EXPECT_TRUE(facts.delayImports.empty());
        EXPECT_FALSE(facts.hasClrHeader);
        ASSERT_EQ(facts.dependentAssemblies.size(), sample.server ? 1u : 0u);
        if (sample.server)
            EXPECT_EQ(facts.dependentAssemblies[0].name + " " + facts.dependentAssemblies[0].version,
                      "Microsoft.Windows.Common-Controls 6.0.0.0");
        EXPECT_FALSE(facts.damaged);

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

// Every truncation, and 0x00, 0xFF and +1 at every byte: these images are all headers and tables, so
// that whatever cut still reads as an image is damaged, as is one whose sizes do not add up.
TEST(PeImage, NoCorruptionReadsOutsideTheBytesAndEveryCutOrOverlongImageIsDamaged)
{
    for (const Sample& sample : kSamples) {
        Bytes image = Load(sample.file);
        if (image.empty())
            GTEST_SKIP() << "no MinGW cross compilers: no images to read";
        ASSERT_LT(image.size(), 16384u) << sample.file << " is no longer a small image";
        for (size_t length = 0; length < image.size(); ++length) {
            pe::ImageFacts cut = ReadExact(image.data(), length);
            EXPECT_TRUE(cut.machine == pe::Machine::NotPe || cut.damaged) << sample.file << " cut at " << length;
        }
        const size_t fileHeader = image[0x3C] + (image[0x3D] << 8) + 4u;
        const size_t sections = image[fileHeader + 2], table = fileHeader + 20 + image[fileHeader + 16] + (image[fileHeader + 17] << 8);
        auto damagedBy = [&](size_t at, std::uint8_t value) {
            Bytes changed = image;
            changed[at] = value;
            return pe::ReadImage(changed).damaged;
        };
        EXPECT_TRUE(damagedBy(table + 40 * (sections - 1) + 17, static_cast<std::uint8_t>(image[table + 40 * (sections - 1) + 17] + 0x10)))
            << "the last section's raw data beyond the end";
        EXPECT_TRUE(damagedBy(fileHeader + 2, 97)) << "more sections than the loader takes";
        EXPECT_TRUE(damagedBy(fileHeader + 20 + 60 + 2, 0x10)) << "headers larger than the file";
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

    EXPECT_EQ(pe::SplitSearchPath(L"C:\\a;;\"C:\\b c\";C:\\d\\;"), (std::vector<std::wstring>{L"C:\\a", L"C:\\b c", L"C:\\d\\"}));
}

TEST(FileTip, NeverWrittenPastTheBufferNorThroughAPair)
{
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

namespace {

pe::ImportedDll Imports(std::string dll, std::initializer_list<std::string> names, std::uint16_t ordinal = 0)
{
    pe::ImportedDll imports{std::move(dll), {}};
    for (const std::string& name : names)
        imports.functions.push_back({name, 0});
    if (ordinal)
        imports.functions.push_back({"", ordinal});
    return imports;
}

} // namespace

// Export tables decide, down the chain: the nearest missing link is named, with the DLLs that lead to it.
TEST(Dependencies, TheFirstMissingLinkLevelByLevel)
{
    std::map<std::string, pe::Module> modules;
    auto add = [&](const std::string& name, std::vector<pe::ImportedDll> imports, std::vector<std::string> exports,
                   std::vector<pe::ForwardedExport> forwarders = {}, bool system = false) {
        pe::ImageFacts facts;
        facts.machine = pe::Machine::X64;
        facts.imports = std::move(imports);
        facts.exports = std::move(exports);
        facts.ordinals = {1, 2, 7};
        facts.forwarders = std::move(forwarders);
        modules.emplace(name, pe::Module(facts, system));
    };
    add("kernel32.dll", {Imports("gone.dll", {})}, {"Sleep", "Beep", "Tick"},
        {{"Beep", 2, "NTDLL.RtlBeep"}, {"Tick", 7, "api-ms-win-core-x-l1-1-0.Tick"}}, true);
    add("ntdll.dll", {}, {"RtlBeep"}, {{"", 1, "ntdll.#9"}}, true);
    add("mid.dll", {Imports("deep.dll", {"D"}), Imports("kernel32.dll", {"Sleep"})}, {"M"});
    add("deep.dll", {Imports("mid.dll", {"M"}), Imports("gone.dll", {})}, {"D"});
    add("loop.dll", {Imports("loop.dll", {"L"})}, {"L"}, {{"L", 1, "loop.L"}});
    modules.emplace("junk.dll", pe::Module(pe::ImageFacts(), false));
    int finds = 0;
    pe::FindModule find = [&](const std::string& dll) {
        ++finds;
        auto module = modules.find(dll);
        return module == modules.end() ? nullptr : &module->second;
    };
    auto first = [&](std::vector<pe::ImportedDll> imports, pe::WalkLimits limits) {
        std::optional<pe::MissingLink> link = pe::FirstMissingLink(imports, find, limits);
        std::string text;
        for (const std::string& dll : link ? link->chain : std::vector<std::string>())
            text += dll + ">";
        return link ? text + link->function : "none";
    };
    const pe::WalkLimits chain{8, 256, true}, direct{1, 0, false};
    // Forwarders followed into ntdll and to an API set, by name and by ordinal; API sets and files that are
    // no image count as present.
    EXPECT_EQ(first({Imports("kernel32.dll", {"Sleep", "Beep", "Tick"}, 7), Imports("junk.dll", {"Any"}),
                     Imports("API-MS-Win-core-y.dll", {"Y"})}, chain), "none");
    // The system's own imports are not walked; a missing DLL is left to the loader when only functions count.
    EXPECT_EQ(first({Imports("kernel32.dll", {"Sleep"}), Imports("gone.dll", {})}, direct), "none");
    EXPECT_EQ(first({Imports("kernel32.dll", {"Sleep", "Nope"})}, direct), "kernel32.dll>Nope");
    EXPECT_EQ(first({Imports("kernel32.dll", {}, 3)}, direct), "kernel32.dll>#3");
    EXPECT_EQ(first({Imports("ntdll.dll", {"RtlBeep"}, 1)}, direct), "ntdll.dll>#1") << "forwarded to an ordinal not there";
    // Down a cycle mid -> deep -> mid to the DLL missing two levels down; a level deeper than allowed is not seen.
    EXPECT_EQ(first({Imports("mid.dll", {"M"})}, chain), "mid.dll>deep.dll>gone.dll>");
    EXPECT_EQ(first({Imports("mid.dll", {"M"})}, {2, 256, true}), "none");
    EXPECT_EQ(first({Imports("mid.dll", {"M"}), Imports("other.dll", {})}, chain), "other.dll>") << "the nearer link first";
    finds = 0;
    EXPECT_EQ(first({Imports("loop.dll", {"L"})}, chain), "none");
    EXPECT_LT(finds, 20) << "a forwarder to itself or an import of itself ends";
}

TEST(Runtimes, EachFamilyNamesItsRuntime)
{
    using pe::RuntimeFamily::VisualBasic, pe::RuntimeFamily::VisualCpp;
    const std::pair<const wchar_t*, std::optional<pe::Runtime>> cases[] = {
        {L"MSVBVM60.DLL", pe::Runtime{VisualBasic, L"6.0"}}, {L"msvcr120.dll", pe::Runtime{VisualCpp, L"2013"}},
        {L"msvcp140_1.dll", pe::Runtime{VisualCpp, L"2015-2022"}}, {L"VCRUNTIME140_1.dll", pe::Runtime{VisualCpp, L"2015-2022"}},
        {L"mfc140u.dll", pe::Runtime{VisualCpp, L"2015-2022"}}, {L"MFC80JPN.DLL", pe::Runtime{VisualCpp, L"2005"}},
        {L"mfcm90.dll", pe::Runtime{VisualCpp, L"2008"}}, {L"ATL100.DLL", pe::Runtime{VisualCpp, L"2010"}},
        {L"vcomp110.dll", pe::Runtime{VisualCpp, L"2012"}}, {L"msvcr120d.dll", std::nullopt}, {L"vcruntime140d.dll", std::nullopt},
        {L"mfc140ud.dll", std::nullopt}, {L"msvcrt.dll", std::nullopt}, {L"MFC42.DLL", std::nullopt}, {L"atl.dll", std::nullopt},
        {L"msvcr99.dll", std::nullopt}, {L"kernel32.dll", std::nullopt}};
    for (const auto& [dll, runtime] : cases)
        EXPECT_EQ(pe::RuntimeOf(dll), runtime) << std::string(dll, dll + std::wcslen(dll));
}

// What a file's own manifest asks for, and which imports the pre-flight then leaves to the loader.
TEST(SideBySide, ImportsThatActivationMayRedirectAreTheLoaders)
{
    const char16_t wide[] = u"\xFEFF<!-- <dependentAssembly><assemblyIdentity name='Commented'/> -->"
                            u"<asmv1:dependentAssembly><asmv1:assemblyIdentity type='win32' name = 'Private.Asm'"
                            u" version=\"1.2.3.4\" language='ja-JP'/></asmv1:dependentAssembly>"
                            u"<assemblyIdentity name='Outside'/><dependentAssembly><assemblyIdentity version='1'/>";
    std::string bytes;
    for (char16_t unit : std::u16string_view(wide))
        bytes += static_cast<char>(unit & 0xFF), bytes += static_cast<char>(unit >> 8);
    std::vector<pe::AssemblyReference> assemblies = pe::DependentAssemblies(bytes);
    ASSERT_EQ(assemblies.size(), 1u) << "commented, outside a dependency or nameless: none";
    EXPECT_EQ(assemblies[0].name + " " + assemblies[0].version + " " + assemblies[0].language, "Private.Asm 1.2.3.4 ja-JP");
    EXPECT_EQ(pe::PrivateAssemblyProbes(assemblies[0], L"C:\\s\\")[0], L"C:\\s\\ja-JP\\Private.Asm.dll");
    EXPECT_EQ(pe::PrivateAssemblyProbes(assemblies[0], L"C:\\s\\").back(), L"C:\\s\\Private.Asm\\Private.Asm.manifest");
    EXPECT_EQ(pe::SharedAssemblyPattern(assemblies[0], pe::Machine::X64), L"");
    EXPECT_EQ(pe::SharedAssemblyPattern({"Microsoft.VC90.CRT", "9.0.21022.8", "*", "1fc8b3b9a1e18e3b", ""}, pe::Machine::X64),
              L"amd64_microsoft.vc90.crt_1fc8b3b9a1e18e3b_*");

    pe::ImageFacts facts;
    for (const char* dll : {"KERNEL32.dll", "COMCTL32.dll", "gdiplus.dll", "MSVCR90.dll", "mfc80u.dll", "msvcr100.dll", "dep.dll"})
        facts.imports.push_back({dll, {{"F", 0}}});
    std::vector<std::string> checked;
    for (const pe::ImportedDll& dll : pe::SearchPathImports(facts))
        checked.push_back(dll.name);
    EXPECT_EQ(checked, (std::vector<std::string>{"KERNEL32.dll", "msvcr100.dll", "dep.dll"}));
    facts.dependentAssemblies = assemblies;
    EXPECT_TRUE(pe::SearchPathImports(facts).empty()) << "an assembly may carry a DLL of any name";
}
