#include "PluginLibrary.h"

#include <cstdio>
#include <cwchar>

#include "Text.h"

namespace npbrowser {

namespace {

std::vector<std::string> versionMimeTypes(const std::wstring& path) {
    std::vector<std::string> types;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return types;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return types;
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    std::vector<std::wstring> blocks;
    if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translations), &length)) {
        for (UINT i = 0; i < length / sizeof(Translation); ++i) {
            wchar_t block[64];
            std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\MIMEType",
                          translations[i].language, translations[i].codePage);
            blocks.push_back(block);
        }
    }
    blocks.push_back(L"\\StringFileInfo\\040904e4\\MIMEType");
    for (const std::wstring& block : blocks) {
        wchar_t* value = nullptr;
        if (!VerQueryValueW(data.data(), block.c_str(), reinterpret_cast<void**>(&value),
                            &length) ||
            value == nullptr)
            continue;
        std::string all = narrow(value);
        size_t start = 0;
        while (start <= all.size()) {
            const size_t end = all.find('|', start);
            const std::string type =
                all.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!type.empty())
                types.push_back(type);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        break;
    }
    return types;
}

void collectPaths(HKEY root, std::vector<std::wstring>& paths) {
    HKEY plugins = nullptr;
    if (RegOpenKeyExW(root, L"Software\\MozillaPlugins", 0, KEY_READ, &plugins) != ERROR_SUCCESS)
        return;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(plugins, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        wchar_t path[MAX_PATH * 2];
        DWORD bytes = sizeof path;
        if (RegGetValueW(plugins, name, L"Path", RRF_RT_REG_SZ, nullptr, path, &bytes) ==
            ERROR_SUCCESS)
            paths.push_back(path);
    }
    RegCloseKey(plugins);
}

} // namespace

PluginLibrary::PluginLibrary(std::wstring path)
    : m_path(std::move(path)), m_mimeTypes(versionMimeTypes(m_path)) {}

PluginLibrary::~PluginLibrary() = default;

bool PluginLibrary::handles(const std::string& mimeType) const {
    for (const std::string& type : m_mimeTypes) {
        if (_stricmp(type.c_str(), mimeType.c_str()) == 0)
            return true;
    }
    return false;
}

bool PluginLibrary::start(NPNetscapeFuncs* browserFuncs) {
    if (m_started)
        return true;
    if (m_module == nullptr)
        m_module = LoadLibraryW(m_path.c_str());
    if (m_module == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", narrow(m_path).c_str(),
                     GetLastError());
        return false;
    }
    using GetEntryPoints = NPError(WINAPI*)(NPPluginFuncs*);
    using Initialize = NPError(WINAPI*)(NPNetscapeFuncs*);
    auto getEntryPoints = reinterpret_cast<GetEntryPoints>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "NP_GetEntryPoints")));
    auto initialize = reinterpret_cast<Initialize>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "NP_Initialize")));
    m_shutdown = reinterpret_cast<NPError(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "NP_Shutdown")));
    if (getEntryPoints == nullptr || initialize == nullptr || m_shutdown == nullptr) {
        std::fprintf(stderr, "%s is not an NPAPI plug-in\n", narrow(m_path).c_str());
        return false;
    }
    m_funcs = NPPluginFuncs{};
    m_funcs.size = sizeof(NPPluginFuncs);
    m_funcs.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    NPError error = getEntryPoints(&m_funcs);
    if (error == NPERR_NO_ERROR)
        error = initialize(browserFuncs);
    if (error != NPERR_NO_ERROR) {
        std::fprintf(stderr, "%s did not start: NPError %d\n", narrow(m_path).c_str(), error);
        return false;
    }
    m_started = true;
    return true;
}

void PluginLibrary::shutdown() {
    if (m_started && m_shutdown != nullptr)
        m_shutdown();
    m_started = false;
}

std::vector<std::wstring> PluginLibrary::registeredPaths() {
    std::vector<std::wstring> paths;
    collectPaths(HKEY_CURRENT_USER, paths);
    collectPaths(HKEY_LOCAL_MACHINE, paths);
    return paths;
}

} // namespace npbrowser
