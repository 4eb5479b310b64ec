#pragma once
// A plug-in library as an NPAPI browser on Windows loads it: found by path or
// through HKCU/HKLM\Software\MozillaPlugins, matched by the MIME types in its
// version resource, started with NP_GetEntryPoints and NP_Initialize.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "npapi_abi.h"

namespace npbrowser {

class PluginLibrary {
public:
    explicit PluginLibrary(std::wstring path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::wstring& path() const { return m_path; }
    // The MIME types of the version resource ("a|b"); empty when it has none.
    const std::vector<std::string>& mimeTypes() const { return m_mimeTypes; }
    bool handles(const std::string& mimeType) const;

    // Loads and starts the library on first use; false when that failed.
    bool start(NPNetscapeFuncs* browserFuncs);
    bool started() const { return m_started; }
    const NPPluginFuncs& funcs() const { return m_funcs; }
    // NP_Shutdown; the library stays mapped so that late faults stay readable.
    void shutdown();

    // Every library registered for NPAPI browsers, HKCU before HKLM.
    static std::vector<std::wstring> registeredPaths();

private:
    std::wstring m_path;
    std::vector<std::string> m_mimeTypes;
    HMODULE m_module = nullptr;
    NPPluginFuncs m_funcs{};
    bool m_started = false;
    NPError(WINAPI* m_shutdown)() = nullptr;
};

} // namespace npbrowser
