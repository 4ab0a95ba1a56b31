#include "registry/pure/BrokenRules.h"
#include <gtest/gtest.h>
#include <set>

namespace {

struct World {
    std::set<std::wstring> files;
    PathWorld world;
    explicit World(bool view64)
    {
        world.exists = [this](const std::wstring& path) { return files.count(path) > 0; };
        world.variable = [](const std::wstring& name) -> std::optional<std::wstring> {
            if (name == L"SystemRoot")
                return L"C:\\Windows";
            if (name == L"ProgramW6432")
                return L"C:\\Program Files";
            if (name == L"ProgramFiles(x86)")
                return L"C:\\Program Files (x86)";
            return std::nullopt;
        };
        world.systemFolder = L"C:\\Windows\\System32";
        world.viewFolder = view64 ? L"C:\\Windows\\Sysnative" : L"C:\\Windows\\SysWOW64";
        world.searchFolders = {L"C:\\Windows\\System32", L"C:\\Windows"};
        world.view64 = view64;
    }
    std::optional<std::wstring> Missing(const std::wstring& value, ServerKind kind = ServerKind::InProc) const
    {
        return MissingServer(value, kind, world);
    }
};

} // namespace

TEST(BrokenRules, PathsAreReadAsTheLoaderOfTheirViewReadsThem)
{
    World w64(true), w32(false);
    for (World* w : {&w64, &w32})
        w->files = {L"C:\\Windows\\Sysnative\\only64.dll", L"C:\\Windows\\SysWOW64\\only32.dll", L"C:\\Program Files\\A\\a.dll",
                    L"C:\\Program Files (x86)\\A\\a.dll", L"C:\\Windows\\System32\\spool\\drv.dll", L"C:\\Windows\\SysWOW64\\mscoree.dll"};
    EXPECT_EQ(w64.Missing(L"only32.dll"), L"only32.dll");
    EXPECT_EQ(w32.Missing(L"only32.dll"), std::nullopt);
    EXPECT_EQ(w64.Missing(L"C:\\Windows\\system32\\only64.dll"), std::nullopt);
    EXPECT_EQ(w32.Missing(L"C:\\Windows\\system32\\only64.dll"), L"C:\\Windows\\system32\\only64.dll");
    EXPECT_EQ(w32.Missing(L"C:\\Windows\\System32\\spool\\drv.dll"), std::nullopt) << "never redirected";
    EXPECT_EQ(w64.Missing(L"\"%ProgramFiles%\\A\\a.dll\""), std::nullopt);
    EXPECT_EQ(w32.Missing(L" \"%ProgramFiles%\\A\\gone.dll\" "), L"C:\\Program Files (x86)\\A\\gone.dll");
    EXPECT_EQ(w64.Missing(L"%SystemRoot%\\System32\\gone.dll"), L"C:\\Windows\\System32\\gone.dll");
    EXPECT_EQ(w32.Missing(L"C:\\x\\mscoree.dll"), std::nullopt) << "the runtime's shim stands for the class";
    EXPECT_EQ(w64.Missing(L"mscoree.dll"), L"mscoree.dll");
    EXPECT_EQ(w64.Missing(L"\\\\?\\C:\\Program Files\\A\\a.dll\\2", ServerKind::TypeLib), std::nullopt);
    EXPECT_EQ(w64.Missing(L"C:\\Program Files\\A\\gone.tlb\\2", ServerKind::TypeLib), L"C:\\Program Files\\A\\gone.tlb");
}

TEST(BrokenRules, WhatIsInDoubtIsNeverMissing)
{
    World w(true);
    for (const wchar_t* value : {L"", L"  ", L"%Unknown%\\x.dll", L"sub\\x.dll", L"\\\\server\\share\\x.dll", L"\"C:\\unclosed.exe"})
        EXPECT_EQ(w.Missing(value, ServerKind::Local), std::nullopt) << value;
    EXPECT_EQ(w.Missing(L"sub\\x.dll"), std::nullopt);
}

TEST(BrokenRules, ALocalServerIsTheLongestPrefixOfItsCommandLineThatIsAFile)
{
    World w(true);
    w.files = {L"C:\\Program Files\\My App\\srv.exe", L"C:\\Tools\\run.exe", L"C:\\Windows\\Sysnative\\sys.exe"};
    EXPECT_EQ(w.Missing(L"C:\\Program Files\\My App\\srv.exe /Automation -x", ServerKind::Local), std::nullopt);
    EXPECT_EQ(w.Missing(L"\"C:\\Program Files\\My App\\srv.exe\" /Automation", ServerKind::Local), std::nullopt);
    EXPECT_EQ(w.Missing(L"C:\\Tools\\run -Embedding", ServerKind::Local), std::nullopt) << "started as .exe";
    EXPECT_EQ(w.Missing(L"sys.exe /x", ServerKind::Local), std::nullopt);
    EXPECT_EQ(w.Missing(L"C:\\Program Files\\Gone App\\srv.exe /Automation", ServerKind::Local), L"C:\\Program Files\\Gone App\\srv.exe");
    EXPECT_EQ(w.Missing(L"\"C:\\Gone\\srv.exe\" -Embedding", ServerKind::Local), L"C:\\Gone\\srv.exe");
}

TEST(BrokenRules, OnlyWhatNamesNothingThereIsRemovedWhole)
{
    EXPECT_EQ(BrokenParts({{L"InprocServer32", L"a.dll"}, {L"LocalServer32", std::nullopt}}),
              (std::vector<BrokenPart>{{L"InprocServer32", L"a.dll"}}));
    EXPECT_EQ(BrokenParts({{L"InprocServer32", L"a.dll"}, {L"LocalServer32", L"b.exe"}}), (std::vector<BrokenPart>{{L"", L"a.dll"}}));
    EXPECT_TRUE(BrokenParts({}).empty());
    EXPECT_EQ(ClassIdText(L"{0002df01-0000-0000-c000-000000000046}"), L"{0002DF01-0000-0000-C000-000000000046}");
    for (const wchar_t* text : {L"", L"Word.Application", L"{0002DF01-0000-0000-C000-00000000004G}", L"{0002DF01x0000-0000-C000-000000000046}"})
        EXPECT_EQ(ClassIdText(text), std::nullopt) << text;
}
