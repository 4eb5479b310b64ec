#include "site_lock.h"

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "text.h"

namespace orvelaSites {
namespace {

const wchar_t kKey[] = L"Software\\orvela";
const wchar_t kValue[] = L"AllowedSites";

class RegistryKey {
public:
    RegistryKey(HKEY root, const wchar_t* path) {
        if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &m_key) !=
            ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~RegistryKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

void log(const std::wstring& text) {
    OutputDebugStringW((L"orvela: AllowedSites: " + text + L"\n").c_str());
}

// The value's strings; none when the value is absent.
std::optional<std::vector<std::wstring>> readList(HKEY root) {
    RegistryKey key(root, kKey);
    if (!key.get())
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), kValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::wstring> entries;
    if (type != REG_MULTI_SZ) {
        log(L"not a multi-string, no page is allowed");
        return entries;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key.get(), kValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &read) != ERROR_SUCCESS)
        return entries;
    // The buffer ends in two terminators even when the value lacks them.
    for (const wchar_t* p = data.data(); *p; p += wcslen(p) + 1)
        entries.emplace_back(p);
    return entries;
}

} // namespace

std::optional<AllowList> ReadAllowedSites() {
    std::optional<std::vector<std::wstring>> wide = readList(HKEY_LOCAL_MACHINE);
    if (!wide)
        wide = readList(HKEY_CURRENT_USER);
    if (!wide)
        return std::nullopt;
    std::vector<std::string> entries;
    for (const std::wstring& entry : *wide) {
        try {
            entries.push_back(ATL::WideToUtf8(entry));
        } catch (const std::exception&) {
            log(L"ignored, not text: " + entry);
        }
    }
    std::vector<std::string> invalid;
    AllowList list = AllowList::fromEntries(entries, &invalid);
    for (const std::string& entry : invalid)
        log(L"ignored, not an origin pattern: " + ATL::Utf8ToWide(entry));
    return list;
}

} // namespace orvelaSites
