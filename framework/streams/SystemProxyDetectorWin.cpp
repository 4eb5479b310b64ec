#include "SystemProxyDetectorWin.h"

#include <windows.h>

#include <vector>

#include "utf8_tools.h"

namespace FW {

namespace {

const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class RegKey {
public:
    RegKey() {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &m_key) !=
            ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~RegKey() {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool readDword(const wchar_t* name, DWORD& value) const {
        DWORD type = 0;
        DWORD size = sizeof(value);
        return m_key != nullptr &&
               RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                &size) == ERROR_SUCCESS &&
               type == REG_DWORD;
    }

    std::string readString(const wchar_t* name) const {
        DWORD type = 0;
        DWORD size = 0;
        if (m_key == nullptr ||
            RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
            return std::string();
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                             &size) != ERROR_SUCCESS)
            return std::string();
        try {
            return wstring_to_utf8(std::wstring(text.data()));
        } catch (const std::exception&) {
            return std::string(); // not valid UTF-16: no usable setting
        }
    }

private:
    HKEY m_key = nullptr;
};

} // namespace

ProxyConfig SystemProxyDetectorWin::readConfig() const {
    const RegKey key;
    ProxyConfig config;
    DWORD enabled = 0;
    config.enabled = key.readDword(L"ProxyEnable", enabled) && enabled != 0;
    if (config.enabled) {
        config.servers = key.readString(L"ProxyServer");
        config.bypass = key.readString(L"ProxyOverride");
    }
    return config;
}

} // namespace FW
