// The registry redirections of the registration host, in this process, for what the window's runs
// over a type library do not reach: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS.
#include "TestSupport.h"
#include "register/RegistryRedirect.h"

using namespace testing_support;

namespace {

const std::wstring kProbe = L"Software\\Mirdal Probe";

bool CreateKey(HKEY root, const std::wstring& path)
{
    platform::UniqueKey key;
    return ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

TEST(RegistryRedirect, ACaptureTakesEveryRootsKeysUnderTheirNamesAndThePerUserOneKeepsHklmInHkcu)
{
    std::vector<RegKeyRecord> records;
    {
        RegistryCapture capture;
        // A key without values or sub-keys is kept.
        EXPECT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProbe + L"\\Empty"));
        EXPECT_TRUE(CreateKey(HKEY_USERS, L".DEFAULT\\Mirdal Probe\\空 き"));
        DWORD one = 1;
        EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kProbe.c_str(), L"v", REG_DWORD, &one, sizeof one), ERROR_SUCCESS);
        records = capture.Read();
    }
    EXPECT_WTEXT_EQ(L"[HKEY_LOCAL_MACHINE\\Software\\Mirdal Probe\\Empty]\r\n\r\n"
                    L"[HKEY_CURRENT_USER\\Software\\Mirdal Probe]\r\n\"v\"=dword:00000001\r\n\r\n"
                    L"[HKEY_USERS\\.DEFAULT\\Mirdal Probe\\空 き]\r\n\r\n",
                    RegKeysText(records));
    for (auto [root, path] : {std::pair{HKEY_LOCAL_MACHINE, kProbe}, {HKEY_CURRENT_USER, kProbe},
                              {HKEY_USERS, L".DEFAULT\\Mirdal Probe"}, {HKEY_CURRENT_USER, L"Software\\Mirdal\\Capture"}})
        EXPECT_FALSE(KeyExists(root, path)) << Narrow(path);

    {
        PerUserRedirect redirect;
        EXPECT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProbe));
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProbe));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProbe));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kProbe.c_str());
}

} // namespace
