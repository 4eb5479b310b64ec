#pragma once
// Program modules: CAtlExeModuleT serves the object map as a COM local
// server; CAtlServiceModuleT adds running as a Windows service. Both
// register and unregister themselves from command-line words.
//
//   class CMyModule : public CAtlServiceModuleT<CMyModule, IDS_SERVICENAME> {
//   public:
//       DECLARE_REGISTRY_APPID_RESOURCEID(101, L"{...}")
//   };
//   CMyModule _AtlModule;
//   int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) { return _AtlModule.WinMain(show); }
//
// As a local server the program ends by itself m_dwTimeOut ms after its lock
// count last reached 0 (the shutdown monitor), then waits m_dwPause ms after
// revoking its class objects.

#include "command_words.h"
#include "module.h"

#include <windows.h>

#include <atomic>

namespace ATL {

// Message boxes of the modules go through this hook, so that tests can take
// them instead of a dialog that would wait for a click. Null restores
// MessageBoxW.
using MessageBoxHook = int (*)(const wchar_t* text, const wchar_t* caption, UINT type);
void SetMessageBoxHook(MessageBoxHook hook) noexcept;
int AtlMessageBox(const wchar_t* text, const wchar_t* caption, UINT type) noexcept;

class CAtlExeModuleBase : public CAtlModule {
public:
    LONG Unlock() noexcept override;

    // Registers every class object of the object map (multiple use).
    HRESULT RegisterClassObjects(DWORD context, DWORD flags) noexcept;
    HRESULT RevokeClassObjects() noexcept;
    // Control scripts of all classes, then the type library.
    HRESULT RegisterServer(BOOL bRegTypeLib) noexcept;
    HRESULT UnregisterServer(BOOL bUnRegTypeLib) noexcept;
    // Get, translate, dispatch until WM_QUIT.
    void RunMessageLoop() noexcept;
    // Registers the class objects, runs the loop with the shutdown monitor,
    // revokes them and pauses.
    HRESULT RunLocalServer() noexcept;

    DWORD m_dwTimeOut = 5000;
    DWORD m_dwPause = 1000;
    bool m_bDelayShutdown = true;

protected:
    bool ClassFactoriesLockModule() const noexcept override { return false; }
    bool QuoteModulePath() const noexcept override { return true; }

    // Starts the shutdown monitor thread.
    bool StartMonitor() noexcept;
    void StopMonitor() noexcept;

    DWORD m_dwMainThreadID = 0;
    bool m_bService = false;

private:
    static DWORD WINAPI MonitorProc(void* self) noexcept;
    void MonitorShutdown() noexcept;

    HANDLE m_hEventShutdown = nullptr;
    HANDLE m_hMonitor = nullptr;
    std::atomic<bool> m_bActivity{false};
    std::atomic<bool> m_bMonitorStop{false};
};

template <class T>
class CAtlExeModuleT : public CAtlExeModuleBase {
public:
    int WinMain(int nShowCmd) noexcept {
        const HRESULT init = CoInitialize(nullptr);
        if (FAILED(init))
            return init;
        HRESULT hr = S_OK;
        if (self()->ParseCommandLine(GetCommandLineW(), &hr))
            hr = self()->Run(nShowCmd);
        CoUninitialize();
        return hr;
    }

    // Carries out a registration word; false when one ran (hr is its result).
    bool ParseCommandLine(const wchar_t* cmdLine, HRESULT* hr) noexcept {
        *hr = S_OK;
        const RegistrationWord word = FirstRegistrationWord(cmdLine);
        if (word == RegistrationWord::Unregister) {
            *hr = UnregisterServer(TRUE);
            if (SUCCEEDED(*hr))
                *hr = self()->UpdateRegistryAppId(FALSE);
            return false;
        }
        if (word == RegistrationWord::Register) {
            *hr = self()->UpdateRegistryAppId(TRUE);
            if (SUCCEEDED(*hr))
                *hr = RegisterServer(TRUE);
            return false;
        }
        return true;
    }

    // Serves as a local server until the monitor or a WM_QUIT ends it.
    HRESULT Run(int = SW_HIDE) noexcept { return RunLocalServer(); }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

// The service half, independent of T.
class CAtlServiceModuleBase : public CAtlExeModuleBase {
public:
    bool IsInstalled() noexcept;
    // Creates the service (own process, demand start, depends on RPCSS).
    bool Install() noexcept;
    // Stops and deletes the service.
    bool Uninstall() noexcept;
    // Formats into 256 characters; console when not a service, event log always.
    void LogEvent(const wchar_t* format, ...) noexcept;
    void SetServiceStatus(DWORD state) noexcept;

    // AppID registration for a local server (service = false) or a service.
    HRESULT RegisterAppIdFor(bool service, HRESULT (*updateAppId)(CAtlServiceModuleBase*, BOOL));
    HRESULT UnregisterAppIdFor(HRESULT (*updateAppId)(CAtlServiceModuleBase*, BOOL));

    wchar_t m_szServiceName[256] = {};

protected:
    void LoadServiceName(UINT id) noexcept;
    // Start without a registration word: service when the AppID says so.
    HRESULT StartFor(SERVICE_TABLE_ENTRYW* table, bool* runAsLocalServer) noexcept;
    void ServiceMainBody() noexcept;
    DWORD HandlerBody(DWORD opcode) noexcept;
    static DWORD WINAPI HandlerEx(DWORD opcode, DWORD type, void* data, void* context);

    SERVICE_STATUS_HANDLE m_hServiceStatus = nullptr;
    SERVICE_STATUS m_status = {};
};

template <class T, UINT nServiceNameID>
class CAtlServiceModuleT : public CAtlServiceModuleBase {
public:
    CAtlServiceModuleT() noexcept {
        m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        m_status.dwCurrentState = SERVICE_STOPPED;
        m_status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    }

    int WinMain(int nShowCmd) noexcept {
        LoadServiceName(nServiceNameID);
        const HRESULT init = CoInitialize(nullptr);
        if (FAILED(init))
            return init;
        HRESULT hr = S_OK;
        if (ParseCommandLine(GetCommandLineW(), &hr))
            hr = Start(nShowCmd);
        CoUninitialize();
        return hr;
    }

    bool ParseCommandLine(const wchar_t* cmdLine, HRESULT* hr) noexcept {
        *hr = S_OK;
        const RegistrationWord word = FirstRegistrationWord(cmdLine);
        if (word == RegistrationWord::Unregister) {
            *hr = UnregisterServer(TRUE);
            if (SUCCEEDED(*hr))
                *hr = UnregisterAppIdFor(&updateAppId);
            return false;
        }
        const bool reg = word == RegistrationWord::Register;
        if (reg || HasCommandWord(cmdLine, L"Service")) {
            *hr = RegisterAppIdFor(!reg, &updateAppId);
            if (SUCCEEDED(*hr))
                *hr = RegisterServer(TRUE);
            return false;
        }
        return true;
    }

    HRESULT Start(int nShowCmd) noexcept {
        SERVICE_TABLE_ENTRYW table[] = {{m_szServiceName, &ServiceMain}, {nullptr, nullptr}};
        bool local = false;
        const HRESULT hr = StartFor(table, &local);
        (void)nShowCmd;
        return local ? RunLocalServer() : hr;
    }

private:
    static HRESULT updateAppId(CAtlServiceModuleBase* module, BOOL bRegister) {
        return static_cast<T*>(module)->UpdateRegistryAppId(bRegister);
    }
    static void WINAPI ServiceMain(DWORD, LPWSTR*) {
        static_cast<T*>(_pAtlModule)->ServiceMainBody();
    }
};

} // namespace ATL
