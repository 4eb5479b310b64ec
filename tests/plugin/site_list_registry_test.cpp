// The list of allowed sites as the registry holds it: the machine's when it
// exists (then the only one), else the user's; none without either. The
// tests write the prefix's lists and take them out again, so they run alone.

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "site_lock.h"

namespace {

using orvelaSites::ReadAllowedSites;

// Software\orvela\AllowedSites of root in the 32-bit view, removed again
// when the object goes.
class ListValue {
public:
    ListValue(HKEY root, DWORD type, const std::wstring& data) : m_root(root) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(root, L"Software\\orvela", 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot create Software\\orvela";
            return;
        }
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, L"AllowedSites", 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
        RegCloseKey(key);
    }
    ~ListValue() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(m_root, L"Software\\orvela", 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, L"AllowedSites");
            RegCloseKey(key);
        }
    }
    ListValue(const ListValue&) = delete;
    ListValue& operator=(const ListValue&) = delete;

private:
    HKEY m_root;
};

// A multi-string's data: each entry ends in a null; the closing null is added
// by ListValue.
std::wstring multi(std::initializer_list<const wchar_t*> entries) {
    std::wstring data;
    for (const wchar_t* entry : entries) {
        data += entry;
        data += L'\0';
    }
    return data;
}

TEST(AllowedSitesList, NoListLeavesEveryPageAllowed) {
    EXPECT_FALSE(ReadAllowedSites());
}

TEST(AllowedSitesList, TheUsersListAppliesWithoutTheMachinesOne) {
    ListValue user(HKEY_CURRENT_USER, REG_MULTI_SZ, multi({L"http://cams.example.com"}));
    const auto list = ReadAllowedSites();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->allows("http://cams.example.com/view.html"));
    EXPECT_FALSE(list->allows("http://evil.example/"));
}

TEST(AllowedSitesList, TheMachinesListIsTheOnlyOneWhenPresent) {
    ListValue user(HKEY_CURRENT_USER, REG_MULTI_SZ, multi({L"http://evil.example"}));
    ListValue machine(
        HKEY_LOCAL_MACHINE, REG_MULTI_SZ,
        multi({L"http://cams.example.com", L"not a pattern", L"https://*.example.org;file://"}));
    const auto list = ReadAllowedSites();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->allows("http://cams.example.com/view.html"));
    EXPECT_TRUE(list->allows("https://a.example.org/"));
    EXPECT_TRUE(list->allows("file:///C:/view.html"));
    EXPECT_FALSE(list->allows("http://evil.example/"))
        << "the user cannot widen the machine's list";
}

TEST(AllowedSitesList, AValueOfAnotherTypeAllowsNoPage) {
    ListValue machine(HKEY_LOCAL_MACHINE, REG_SZ, L"http://cams.example.com");
    const auto list = ReadAllowedSites();
    ASSERT_TRUE(list);
    EXPECT_FALSE(list->allows("http://cams.example.com/view.html"));
}

} // namespace
