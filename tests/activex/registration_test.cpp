// Registration of nporvela from other processes, compared in the registry:
// regsvr32 registers per user and /u takes it all back; a program named
// heat.exe registers machine-wide; DllInstall's "user" word.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/registry_tree.h"
#include "support/run_program.h"

using testsupport::RegistryTree;

namespace {

const wchar_t kClsid[] = L"{37B01B35-A939-54A1-A03C-1B49CDBAAACC}";
const wchar_t kLibid[] = L"{4D30BA41-75B9-50A9-8726-F4C641A53E3A}";
const wchar_t kAppid[] = L"{B415CD14-B45D-4BCA-B552-B06175C38606}";
const wchar_t kUserClasses[] = L"Software\\Classes";
const wchar_t kExt[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext";
const wchar_t kMozilla[] = L"Software\\MozillaPlugins";

DWORD run(const std::wstring& commandLine) {
    return testsupport::runProgram(commandLine);
}

std::wstring quoted(const wchar_t* path) {
    return std::wstring(L"\"") + path + L"\"";
}

// The per-user classes; the Ext and MozillaPlugins keys are shared with a
// machine-wide registration and are checked by name.
RegistryTree userTrees() {
    RegistryTree tree;
    testsupport::readRegistryTree(HKEY_CURRENT_USER, kUserClasses, tree);
    return tree;
}

std::wstring value(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, &type, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

bool keyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

std::wstring clsidKey(const wchar_t* root) {
    return std::wstring(root) + L"\\CLSID\\" + kClsid;
}

} // namespace

TEST(ActiveXRegistration, RegsvrRegistersPerUserAndUnregistersEverything) {
    const RegistryTree before = userTrees();
    ASSERT_EQ(run(L"regsvr32 /s " + quoted(ORVELA_NPORVELA_PATH)), 0u);

    const std::wstring classes = kUserClasses;
    const std::wstring clsid = clsidKey(kUserClasses);
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid, nullptr), L"orvela");
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid, L"AppID"), kAppid);
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\ProgID", nullptr), L"Brenlow.orvela.1");
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\VersionIndependentProgID", nullptr),
              L"Brenlow.orvela");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, clsid + L"\\Programmable"));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, clsid + L"\\Control"));
    const std::wstring server = value(HKEY_CURRENT_USER, clsid + L"\\InprocServer32", nullptr);
    EXPECT_NE(server.find(L"nporvela.dll"), std::wstring::npos) << server;
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\InprocServer32", L"ThreadingModel"),
              L"Apartment");
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\MiscStatus", nullptr), L"0");
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\MiscStatus\\1", nullptr), L"131473");
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\TypeLib", nullptr), kLibid);
    EXPECT_EQ(value(HKEY_CURRENT_USER, clsid + L"\\Version", nullptr), L"1");
    EXPECT_EQ(value(HKEY_CURRENT_USER, classes + L"\\Brenlow.orvela.1\\CLSID", nullptr), kClsid);
    EXPECT_EQ(value(HKEY_CURRENT_USER, classes + L"\\Brenlow.orvela\\CurVer", nullptr),
              L"Brenlow.orvela.1");
    const std::wstring mime = classes + L"\\MIME\\Database\\Content Type\\application/x-orvela";
    EXPECT_EQ(value(HKEY_CURRENT_USER, mime, nullptr), L"orvela");
    EXPECT_EQ(value(HKEY_CURRENT_USER, mime, L"CLSID"), kClsid);
    EXPECT_EQ(value(HKEY_CURRENT_USER, mime, L"Extension"), L"");
    EXPECT_EQ(value(HKEY_CURRENT_USER, classes + L"\\AppID\\" + kAppid, nullptr), L"FrameworkWin");
    EXPECT_EQ(value(HKEY_CURRENT_USER, classes + L"\\AppID\\nporvela.dll", L"AppID"), kAppid);
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, classes + L"\\TypeLib\\" + kLibid));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, std::wstring(kExt) + L"\\PreApproved\\" + kClsid));
    const std::wstring stats = std::wstring(kExt) + L"\\Stats\\" + kClsid + L"\\iexplore";
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, stats + L"\\AllowedDomains\\*"));
    DWORD count = 99, size = sizeof(count);
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, stats.c_str(), L"Count", RRF_RT_REG_DWORD, nullptr,
                           &count, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(value(HKEY_CURRENT_USER, std::wstring(kMozilla) + L"\\@brenlow.com/orvela", L"Path"),
              server);

    ASSERT_EQ(run(L"regsvr32 /s /u " + quoted(ORVELA_NPORVELA_PATH)), 0u);
    RegistryTree after = userTrees();
    // The AppID's own key is kept on purpose: other modules may share it.
    const std::wstring keptAppId = classes + L"\\AppID\\" + kAppid;
    // Containers that registration made and that stay, empty, as the
    // registrar leaves its containers.
    const wchar_t* containers[] = {L"AppID",       L"CLSID",    L"Interface",      L"TypeLib",
                                   L"MIME",        L"Database", L"Content Type",   L"Ext",
                                   L"PreApproved", L"Stats",    L"MozillaPlugins", L"Classes"};
    auto isEmptyContainer = [&](const RegistryTree& tree, const std::wstring& key) {
        for (const auto& entry : tree) {
            if (entry.first.rfind(key + L"\\", 0) == 0 || entry.first.rfind(key + L"|", 0) == 0)
                return false;
        }
        const std::wstring last = key.substr(key.rfind(L'\\') + 1);
        for (const wchar_t* name : containers) {
            if (_wcsicmp(last.c_str(), name) == 0)
                return true;
        }
        return false;
    };
    for (bool removed = true; removed;) {
        removed = false;
        for (auto it = after.begin(); it != after.end();) {
            const bool leftOnPurpose = it->first.rfind(keptAppId, 0) == 0;
            if (!before.count(it->first) && it->second == L"<key>" &&
                (leftOnPurpose || isEmptyContainer(after, it->first))) {
                it = after.erase(it);
                removed = true;
            } else if (!before.count(it->first) && leftOnPurpose) {
                it = after.erase(it);
                removed = true;
            } else {
                ++it;
            }
        }
    }
    EXPECT_EQ(after, before);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, std::wstring(kExt) + L"\\PreApproved\\" + kClsid));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, std::wstring(kExt) + L"\\Stats\\" + kClsid));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, std::wstring(kMozilla) + L"\\@brenlow.com/orvela"));
    for (const auto& [key, text] : after) {
        if (!before.count(key))
            ADD_FAILURE() << "left behind: " << std::string(key.begin(), key.end());
    }
}

// A per-user registration whose first attempt fails (the per-user AppID key
// takes no lasting subkeys) falls back to the control's script, still per
// user: the machine-wide class keeps pointing where it did.
TEST(ActiveXRegistration, TheFallbackAfterAFailedPerUserRegistrationStaysPerUser) {
    const std::wstring machineServer =
        L"Software\\Classes\\CLSID\\" + std::wstring(kClsid) + L"\\InprocServer32";
    const std::wstring machineBefore = value(HKEY_LOCAL_MACHINE, machineServer, nullptr);

    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring dir = std::wstring(temp) + L"orvela-fallback";
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring copy = dir + L"\\nporvela.dll";
    ASSERT_TRUE(CopyFileW(ORVELA_NPORVELA_PATH, copy.c_str(), FALSE));

    const std::wstring userAppIds = std::wstring(kUserClasses) + L"\\AppID";
    RegDeleteTreeW(HKEY_CURRENT_USER, userAppIds.c_str());
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, userAppIds.c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);

    EXPECT_EQ(run(L"regsvr32 /s " + quoted(copy.c_str())), 0u);
    // The first attempt failed at the AppID; the fallback applied the control's script.
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userAppIds + L"\\" + kAppid));
    const std::wstring userServer =
        value(HKEY_CURRENT_USER, clsidKey(kUserClasses) + L"\\InprocServer32", nullptr);
    EXPECT_NE(userServer.find(L"orvela-fallback"), std::wstring::npos) << userServer;
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, machineServer, nullptr), machineBefore);

    EXPECT_EQ(run(L"regsvr32 /s /u " + quoted(copy.c_str())), 0u);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, clsidKey(kUserClasses)));
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, machineServer, nullptr), machineBefore);
    RegDeleteTreeW(HKEY_CURRENT_USER, userAppIds.c_str());
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(dir.c_str());
}

TEST(ActiveXRegistration, HeatRegistersMachineWideAndDllInstallTakesUser) {
    // heat.exe: the machine-wide classes, nothing per user.
    ASSERT_EQ(run(quoted(ORVELA_HEAT_PATH) + L" register " + quoted(ORVELA_NPORVELA_PATH)), 0u);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, clsidKey(L"Software\\Classes")));
    EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"Brenlow.orvela\\CLSID", nullptr), kClsid);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, clsidKey(kUserClasses)));

    // "USER" switches heat.exe to per user as well ...
    ASSERT_EQ(
        run(quoted(ORVELA_HEAT_PATH) + L" install " + quoted(ORVELA_NPORVELA_PATH) + L" USER"), 0u);
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, clsidKey(kUserClasses)));
    ASSERT_EQ(
        run(quoted(ORVELA_HEAT_PATH) + L" uninstall " + quoted(ORVELA_NPORVELA_PATH) + L" USER"),
        0u);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, clsidKey(kUserClasses)));
    // ... "users" does not (five characters compared, the terminator included).
    ASSERT_EQ(
        run(quoted(ORVELA_HEAT_PATH) + L" install " + quoted(ORVELA_NPORVELA_PATH) + L" users"),
        0u);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, clsidKey(kUserClasses)));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, clsidKey(L"Software\\Classes")));
}
