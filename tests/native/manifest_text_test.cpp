#include "register/pure/ManifestText.h"
#include "RegValues.h"
#include <gtest/gtest.h>

namespace {

RegKeyRecord Key(const std::wstring& path, const std::wstring& text = L"", std::vector<RegValue> more = {})
{
    RegKeyRecord key{L"HKEY_CLASSES_ROOT\\" + path, {}};
    if (!text.empty())
        key.values.push_back(Sz(L"", text));
    for (RegValue& value : more)
        key.values.push_back(std::move(value));
    return key;
}

std::string Utf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

const std::wstring kClass = L"{11111111-0000-0000-0000-000000000001}", kStubClass = L"{11111111-0000-0000-0000-000000000002}",
                   kLib = L"{22222222-0000-0000-0000-000000000001}", kAuto = L"{33333333-0000-0000-0000-000000000001}",
                   kDisp = L"{33333333-0000-0000-0000-000000000002}", kCustom = L"{33333333-0000-0000-0000-000000000003}",
                   kElsewhere = L"{33333333-0000-0000-0000-000000000004}";

TEST(ManifestText, CarriesClassesProgidsTypeLibsAndBothMarshalersAndNamesWhatItCannot)
{
    const std::vector<RegKeyRecord> keys{
        Key(L"CLSID\\" + kClass, L"Fixture & <Co>", {Sz(L"AppID", kClass)}),
        Key(L"CLSID\\" + kClass + L"\\InprocServer32", L"C:\\Servers\\server.dll", {Sz(L"ThreadingModel", L"Apartment")}),
        Key(L"CLSID\\" + kClass + L"\\ProgID", L"Mirdal.Fixture.1"),
        Key(L"CLSID\\" + kClass + L"\\VersionIndependentProgID", L"Mirdal.Fixture"),
        Key(L"CLSID\\" + kClass + L"\\TypeLib", kLib),
        Key(L"CLSID\\" + kClass + L"\\MiscStatus\\1", L"131473"),
        Key(L"CLSID\\" + kClass + L"\\LocalServer32", L"C:\\Servers\\server.exe"),
        Key(L"CLSID\\" + kClass + L"\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}"),
        // The proxy/stub class, registered by its quoted short path and without a threading model.
        Key(L"CLSID\\" + kStubClass + L"\\InprocServer32", L"\"C:\\SERVERS\\SERVER.DLL\""),
        Key(L"CLSID\\{44444444-0000-0000-0000-000000000001}\\InprocServer32", L"C:\\Other\\other.dll"),
        Key(L"Mirdal.Fixture.1\\CLSID", kClass),
        Key(L"Mirdal.Fixture\\CLSID", kClass),
        Key(L"Mirdal.Fixture\\CurVer", L"Mirdal.Fixture.1"),
        Key(L"Mirdal.Alias\\CLSID", kClass),
        Key(L"Mirdal.Alias\\Insertable"),
        Key(L"TypeLib\\" + kLib + L"\\a.1", L"Fixture library"),
        Key(L"TypeLib\\" + kLib + L"\\a.1\\FLAGS", L"10"),
        Key(L"TypeLib\\" + kLib + L"\\a.1\\HELPDIR", L"C:\\Servers\\"),
        Key(L"TypeLib\\" + kLib + L"\\a.1\\0\\win64", L"C:\\Servers\\server.dll"),
        Key(L"TypeLib\\" + kLib + L"\\a.1\\0\\win32", L"C:\\Servers\\x86\\server32.dll"),
        Key(L"Interface\\" + kAuto, L"IAuto"),
        Key(L"Interface\\" + kAuto + L"\\ProxyStubClsid32", L"{00020424-0000-0000-C000-000000000046}"),
        Key(L"Interface\\" + kAuto + L"\\TypeLib", kLib, {Sz(L"Version", L"a.1")}),
        Key(L"Interface\\" + kDisp, L"DAuto"),
        Key(L"Interface\\" + kDisp + L"\\ProxyStubClsid32", L"{00020420-0000-0000-c000-000000000046}"),
        Key(L"Interface\\" + kCustom, L"ICustom"),
        Key(L"Interface\\" + kCustom + L"\\ProxyStubClsid32", kStubClass),
        Key(L"Interface\\" + kElsewhere + L"\\ProxyStubClsid32", L"{55555555-0000-0000-0000-000000000001}"),
        Key(L"AppID\\" + kClass, L"Fixture"),
        Key(L"*\\shellex\\ContextMenuHandlers\\Fixture", kClass),
    };
    const ManifestFile file = ReadManifestFile(L"C:\\Servers\\server.dll", keys);
    const std::wstring root = L"HKEY_CLASSES_ROOT\\";
    EXPECT_EQ(file.leftOut, (std::vector<std::wstring>{
                                root + L"CLSID\\" + kClass + L"\\LocalServer32",
                                root + L"CLSID\\" + kClass + L"\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}",
                                root + L"CLSID\\{44444444-0000-0000-0000-000000000001}\\InprocServer32",
                                root + L"Mirdal.Alias\\Insertable",
                                root + L"TypeLib\\" + kLib + L"\\a.1\\0\\win32",
                                root + L"Interface\\" + kElsewhere + L"\\ProxyStubClsid32",
                                root + L"AppID\\" + kClass,
                                root + L"*\\shellex\\ContextMenuHandlers\\Fixture",
                                root + L"CLSID\\" + kClass + L"\\AppID",
                            }));
    const AssemblyIdentity identity{L"Servers", L"2.1.0.7", L"amd64"};
    EXPECT_EQ(Utf8(ManifestText(identity, {file})), Utf8(
        L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        L"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        L"  <assemblyIdentity type=\"win32\" name=\"Servers\" version=\"2.1.0.7\" processorArchitecture=\"amd64\"/>\r\n"
        L"  <file name=\"server.dll\">\r\n"
        L"    <comClass clsid=\"" + kClass + L"\" threadingModel=\"Apartment\" progid=\"Mirdal.Fixture.1\" tlbid=\"" + kLib +
        L"\" description=\"Fixture &amp; &lt;Co&gt;\" miscStatusContent=\"recomposeonresize,cantlinkinside,insideout,activatewhenvisible,setclientsitefirst\">\r\n"
        L"      <progid>Mirdal.Fixture</progid>\r\n"
        L"      <progid>Mirdal.Alias</progid>\r\n"
        L"    </comClass>\r\n"
        L"    <comClass clsid=\"" + kStubClass + L"\"/>\r\n"
        L"    <typelib tlbid=\"" + kLib + L"\" version=\"10.1\" helpdir=\"\" flags=\"CONTROL,HASDISKIMAGE\"/>\r\n"
        L"    <comInterfaceProxyStub iid=\"" + kCustom + L"\" name=\"ICustom\" proxyStubClsid32=\"" + kStubClass + L"\"/>\r\n"
        L"  </file>\r\n"
        L"  <comInterfaceExternalProxyStub iid=\"" + kAuto + L"\" name=\"IAuto\" tlbid=\"" + kLib +
        L"\" proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"/>\r\n"
        L"  <comInterfaceExternalProxyStub iid=\"" + kDisp + L"\" name=\"DAuto\" proxyStubClsid32=\"{00020420-0000-0000-c000-000000000046}\"/>\r\n"
        L"</assembly>\r\n"));
}

TEST(ManifestText, ClassesUnderAnyClassesRootOneExternalInterfaceForTwoFilesAndNamesTheLoaderTakes)
{
    const std::vector<RegKeyRecord> first{
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\" + kClass + L"\\InprocServer32", {Sz(L"", L"a.dll"), Sz(L"threadingmodel", L"Both")}},
        Key(L"Interface\\" + kAuto + L"\\ProxyStubClsid32", L"{00020424-0000-0000-C000-000000000046}"),
    };
    // A file that registers nothing the manifest takes but the same interface.
    const std::vector<RegKeyRecord> second{Key(L"Interface\\" + kAuto + L"\\ProxyStubClsid32", L"{00020424-0000-0000-C000-000000000046}")};
    const ManifestFile a = ReadManifestFile(L"C:\\S\\A.DLL", first), b = ReadManifestFile(L"C:\\S\\b.dll", second);
    EXPECT_TRUE(a.leftOut.empty() && b.leftOut.empty());
    EXPECT_TRUE(b.Empty());
    const std::wstring text = ManifestText({L"S", L"1.0.0.0", L"x86"}, {a, b});
    EXPECT_NE(text.find(L"<file name=\"A.DLL\">\r\n    <comClass clsid=\"" + kClass + L"\" threadingModel=\"Both\"/>\r\n  </file>\r\n  <comInterfaceExternalProxyStub iid="),
              std::wstring::npos) << Utf8(text);
    EXPECT_EQ(text.find(L"b.dll"), std::wstring::npos);
    EXPECT_EQ(text.find(L"ExternalProxyStub"), text.rfind(L"ExternalProxyStub"));

    EXPECT_EQ(Utf8(DependencyLine({L"a'b", L"1.0.0.0", L"x86"})), "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
              "name=\"a&apos;b\" version=\"1.0.0.0\" processorArchitecture=\"x86\"/></dependentAssembly></dependency>");
    EXPECT_TRUE(IsAssemblyName(L"Mirdal.Servers-1_\u65e5\u672c"));
    for (const wchar_t* bad : {L"", L"My Servers", L"a\\b", L"a/b", L"a:b", L"a*", L"a?", L"a\"", L"a<", L"a>", L"a|"})
        EXPECT_FALSE(IsAssemblyName(bad)) << Utf8(bad);
}

} // namespace
