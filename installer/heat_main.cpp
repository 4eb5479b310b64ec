// heat.exe: harvests what a library's registration writes; the MSI test
// compares it with the rows the installer generates.
// It runs the library's DllRegisterServer with HKEY_CLASSES_ROOT and
// HKEY_CURRENT_USER redirected into scratch keys, so nothing reaches the
// registry that the machine uses, and prints the keys and values it saw as
// WiX registry elements. A program of this name gets the library's
// machine-wide registration; the user keys it writes become machine keys, as
// the product is installed for every user.
//
//   heat.exe harvest <library> <file id> <directory id>
//
// The library's path in a value becomes [#<file id>], its folder
// [<directory id>], so the rows name the installed files.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kScratch[] = L"Software\\orvela\\heat-scratch";

class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// Redirects a predefined key for as long as the object lives.
class Redirect {
public:
    Redirect(HKEY predefined, HKEY target)
        : m_predefined(predefined), m_ok(RegOverridePredefKey(predefined, target) == 0) {}
    ~Redirect() {
        if (m_ok)
            RegOverridePredefKey(m_predefined, nullptr);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;
    bool ok() const { return m_ok; }

private:
    HKEY m_predefined;
    bool m_ok;
};

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::string xml(const std::wstring& text) {
    std::string out;
    for (char c : utf8(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Replaces every occurrence of what (ignoring case) in text.
std::wstring replaceAll(std::wstring text, const std::wstring& what, const std::wstring& with) {
    if (what.empty())
        return text;
    for (size_t pos = 0; pos + what.size() <= text.size();) {
        if (_wcsnicmp(text.c_str() + pos, what.c_str(), what.size()) == 0) {
            text.replace(pos, what.size(), with);
            pos += with.size();
        } else {
            ++pos;
        }
    }
    return text;
}

struct Names {
    std::wstring library; // the library's full path as registration writes it
    std::wstring folder;  // its folder, without the final backslash
    std::wstring fileRef;
    std::wstring folderRef;

    // Square brackets are the installer's own syntax in a formatted value.
    std::wstring formatted(const std::wstring& text) const {
        std::wstring escaped;
        for (wchar_t c : text)
            escaped += c == L'[' ? L"[\\[]" : c == L']' ? L"[\\]]" : std::wstring(1, c);
        escaped = replaceAll(escaped, library, fileRef);
        escaped = replaceAll(escaped, folder + L"\\", folderRef);
        return replaceAll(escaped, folder, folderRef);
    }
};

// Prints one value as a WiX element; false for a type the rows cannot carry.
bool printValue(const std::string& root, const std::wstring& key, const std::wstring& name,
                DWORD type, const std::vector<BYTE>& data, const Names& names) {
    std::string wixType, value;
    const auto* text = reinterpret_cast<const wchar_t*>(data.data());
    const size_t chars = data.size() / sizeof(wchar_t);
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        wixType = type == REG_SZ ? "string" : "expandable";
        value = xml(names.formatted(std::wstring(text, wcsnlen(text, chars))));
        break;
    case REG_DWORD: {
        DWORD number = 0;
        std::memcpy(&number, data.data(),
                    data.size() < sizeof number ? data.size() : sizeof number);
        wixType = "integer";
        value = std::to_string(static_cast<long>(number));
        break;
    }
    case REG_BINARY: {
        wixType = "binary";
        static const char digits[] = "0123456789ABCDEF";
        for (BYTE b : data) {
            value += digits[b >> 4];
            value += digits[b & 15];
        }
        break;
    }
    default:
        std::fprintf(stderr,
                     "heat.exe: %s\\%ls: value \"%ls\" has type %lu, which is not harvested\n",
                     root.c_str(), key.c_str(), name.c_str(), static_cast<unsigned long>(type));
        return false;
    }
    std::printf("<RegistryValue Root=\"%s\" Key=\"%s\"", root.c_str(),
                xml(names.formatted(key)).c_str());
    if (!name.empty())
        std::printf(" Name=\"%s\"", xml(names.formatted(name)).c_str());
    std::printf(" Type=\"%s\" Value=\"%s\" />\n", wixType.c_str(), value.c_str());
    return true;
}

// Prints the values under key and its subkeys. A key without values or
// subkeys still has to exist: it gets an empty default value. False when a
// value could not be harvested.
bool harvest(HKEY parent, const std::wstring& path, const std::string& root, const Names& names) {
    RegKey key;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    const std::wstring base =
        std::wstring(kScratch) + L"\\" + std::wstring(root.begin(), root.end());
    const std::wstring shown = path.size() > base.size() ? path.substr(base.size() + 1) : L"";
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    for (DWORD i = 0; i < values; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            continue;
        std::vector<BYTE> data(size + sizeof(wchar_t));
        nameLength = 16384;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        data.resize(size);
        ok = printValue(root == "HKCU" ? "HKLM" : root, shown, name, type, data, names) && ok;
    }
    if (values == 0 && subkeys == 0 && !shown.empty())
        printValue(root == "HKCU" ? "HKLM" : root, shown, L"", REG_SZ, {}, names);
    for (DWORD i = 0; i < subkeys; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            ok = harvest(parent, path + L"\\" + name, root, names) && ok;
    }
    return ok;
}

int harvestLibrary(const wchar_t* path, const wchar_t* fileId, const wchar_t* folderId) {
    const std::wstring scratch = kScratch;
    RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
    RegKey classes, user;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (scratch + L"\\HKCR").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, classes.out(), nullptr) != ERROR_SUCCESS ||
        RegCreateKeyExW(HKEY_CURRENT_USER, (scratch + L"\\HKCU").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, user.out(), nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "heat.exe: cannot create the scratch keys\n");
        return 3;
    }
    HMODULE library = LoadLibraryW(path);
    if (!library) {
        std::fprintf(stderr, "heat.exe: cannot load %ls (%lu)\n", path, GetLastError());
        return 3;
    }
    Names names;
    wchar_t loaded[MAX_PATH * 2] = {};
    GetModuleFileNameW(library, loaded, MAX_PATH * 2);
    names.library = loaded;
    names.folder = names.library.substr(0, names.library.find_last_of(L'\\'));
    names.fileRef = std::wstring(L"[#") + fileId + L"]";
    names.folderRef = std::wstring(L"[") + folderId + L"]";

    using Entry = HRESULT(__stdcall*)();
    auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
    HRESULT hr = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    {
        Redirect redirectClasses(HKEY_CLASSES_ROOT, classes.get());
        Redirect redirectUser(HKEY_CURRENT_USER, user.get());
        if (!redirectClasses.ok() || !redirectUser.ok())
            hr = E_FAIL;
        else if (entry)
            hr = entry();
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "heat.exe: registration failed: 0x%08lX\n",
                     static_cast<unsigned long>(hr));
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
        return 1;
    }
    std::printf("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                "<!-- What the registration of %s writes, harvested by heat.exe. -->\n<Include>\n",
                xml(names.library.substr(names.folder.size() + 1)).c_str());
    const bool classesOk = harvest(HKEY_CURRENT_USER, scratch + L"\\HKCR", "HKCR", names);
    const bool userOk = harvest(HKEY_CURRENT_USER, scratch + L"\\HKCU", "HKCU", names);
    std::printf("</Include>\n");
    RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
    return classesOk && userOk ? 0 : 4;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 || std::wcscmp(argv[1], L"harvest") != 0) {
        std::fprintf(stderr, "usage: heat.exe harvest LIBRARY FILE-ID DIRECTORY-ID\n");
        return 2;
    }
    return harvestLibrary(argv[2], argv[3], argv[4]);
}
