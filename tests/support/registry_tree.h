#pragma once
// Reads a registry subtree into a sorted map, so that a test can compare what
// registration wrote before and after. Keys map to "<key>", values (path
// "key|name") to "type:text" for strings and "type:hex bytes" for other types.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

using RegistryTree = std::map<std::wstring, std::wstring>;

inline void readRegistryTree(HKEY parent, const std::wstring& path, RegistryTree& tree) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    tree[path] = L"<key>";
    std::vector<BYTE> data(4096);
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLen = 512, type = 0, size = static_cast<DWORD>(data.size());
        const LONG err = RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data.data(), &size);
        if (err == ERROR_MORE_DATA) {
            data.resize(size);
            --i;
            continue;
        }
        if (err != ERROR_SUCCESS)
            break;
        std::wstring value = std::to_wstring(type) + L":";
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            value +=
                std::wstring(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t))
                    .c_str();
        else
            for (DWORD b = 0; b < size; ++b) {
                value += L"0123456789abcdef"[data[b] >> 4];
                value += L"0123456789abcdef"[data[b] & 15];
            }
        tree[path + L"|" + name] = value;
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLen = 512;
        if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.emplace_back(name);
    }
    RegCloseKey(key);
    for (const auto& child : children)
        readRegistryTree(parent, path + L"\\" + child, tree);
}

} // namespace testsupport
