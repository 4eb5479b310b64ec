#include "exe_module.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <string>

namespace ATL {
namespace {

MessageBoxHook g_messageBox = nullptr;

// Message texts: string resources first, these English texts otherwise.
std::wstring Text(UINT id, const wchar_t* fallback) {
    const wchar_t* res = nullptr;
    const int n = LoadStringW(_pAtlModule ? _pAtlModule->GetModuleInstance() : nullptr, id,
                              reinterpret_cast<LPWSTR>(&res), 0);
    return n > 0 && res ? std::wstring(res, static_cast<size_t>(n)) : fallback;
}

enum : UINT {
    IDS_OPEN_SCM = 55306,
    IDS_START_SERVICE = 55307,
    IDS_OPEN_SERVICE = 55308,
    IDS_STOP_SERVICE = 55309,
    IDS_DELETE_SERVICE = 55310,
};

// Opens HKCR\AppID\{appid}.
LONG OpenAppIdKey(const wchar_t* appid, REGSAM access, HKEY* key) {
    HKEY appIds = nullptr;
    LONG err = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, access, &appIds);
    if (err != ERROR_SUCCESS)
        return err;
    err = RegOpenKeyExW(appIds, appid, 0, access, key);
    RegCloseKey(appIds);
    return err;
}

} // namespace

void SetMessageBoxHook(MessageBoxHook hook) noexcept {
    g_messageBox = hook;
}

int AtlMessageBox(const wchar_t* text, const wchar_t* caption, UINT type) noexcept {
    return g_messageBox ? g_messageBox(text, caption, type)
                        : MessageBoxW(nullptr, text, caption, type);
}

LONG CAtlExeModuleBase::Unlock() noexcept {
    const LONG n = CAtlModule::Unlock();
    if (n == 0 && !m_bService) {
        if (m_bDelayShutdown) {
            m_bActivity = true;
            if (m_hEventShutdown)
                SetEvent(m_hEventShutdown);
        } else if (m_dwMainThreadID) {
            PostThreadMessageW(m_dwMainThreadID, WM_QUIT, 0, 0);
        }
    }
    return n;
}

HRESULT CAtlExeModuleBase::RegisterClassObjects(DWORD context, DWORD flags) noexcept {
    for (ObjectMapEntry* e = ObjectMapHead(); e; e = e->next) {
        CComPtr<IUnknown> factory;
        HRESULT hr = GetClassObject(*e->pclsid, IID_IUnknown, reinterpret_cast<void**>(&factory));
        if (SUCCEEDED(hr))
            hr = CoRegisterClassObject(*e->pclsid, factory, context, flags, &e->dwRegister);
        if (FAILED(hr)) {
            RevokeClassObjects();
            return hr;
        }
    }
    return S_OK;
}

HRESULT CAtlExeModuleBase::RevokeClassObjects() noexcept {
    HRESULT result = S_OK;
    for (ObjectMapEntry* e = ObjectMapHead(); e; e = e->next) {
        if (!e->dwRegister)
            continue;
        const HRESULT hr = CoRevokeClassObject(e->dwRegister);
        e->dwRegister = 0;
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

HRESULT CAtlExeModuleBase::RegisterServer(BOOL bRegTypeLib) noexcept {
    HRESULT hr = RegisterClasses(TRUE);
    if (SUCCEEDED(hr) && bRegTypeLib)
        hr = RegisterTypeLib();
    return hr;
}

HRESULT CAtlExeModuleBase::UnregisterServer(BOOL bUnRegTypeLib) noexcept {
    HRESULT hr = RegisterClasses(FALSE);
    if (SUCCEEDED(hr) && bUnRegTypeLib)
        hr = UnRegisterTypeLib();
    return hr;
}

void CAtlExeModuleBase::RunMessageLoop() noexcept {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HRESULT CAtlExeModuleBase::RunLocalServer() noexcept {
    m_dwMainThreadID = GetCurrentThreadId();
    HRESULT hr = RegisterClassObjects(CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
    if (FAILED(hr))
        return hr;
    if (m_bDelayShutdown && !StartMonitor()) {
        RevokeClassObjects();
        return E_FAIL;
    }
    RunMessageLoop();
    hr = RevokeClassObjects();
    StopMonitor();
    if (m_bDelayShutdown)
        Sleep(m_dwPause);
    return hr;
}

bool CAtlExeModuleBase::StartMonitor() noexcept {
    m_hEventShutdown = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEventShutdown)
        return false;
    m_hMonitor = CreateThread(nullptr, 0, &CAtlExeModuleBase::MonitorProc, this, 0, nullptr);
    if (!m_hMonitor) {
        CloseHandle(m_hEventShutdown);
        m_hEventShutdown = nullptr;
        return false;
    }
    return true;
}

void CAtlExeModuleBase::StopMonitor() noexcept {
    if (m_hMonitor) {
        m_bMonitorStop = true;
        SetEvent(m_hEventShutdown);
        WaitForSingleObject(m_hMonitor, INFINITE);
        CloseHandle(m_hMonitor);
        m_hMonitor = nullptr;
    }
    if (m_hEventShutdown) {
        CloseHandle(m_hEventShutdown);
        m_hEventShutdown = nullptr;
    }
}

DWORD WINAPI CAtlExeModuleBase::MonitorProc(void* self) noexcept {
    static_cast<CAtlExeModuleBase*>(self)->MonitorShutdown();
    return 0;
}

// Waits for the lock count to reach 0, then for m_dwTimeOut ms without
// activity; a new release (or a new object) in between starts the wait again.
void CAtlExeModuleBase::MonitorShutdown() noexcept {
    for (;;) {
        WaitForSingleObject(m_hEventShutdown, INFINITE);
        if (m_bMonitorStop)
            return;
        DWORD wait = 0;
        do {
            m_bActivity = false;
            wait = WaitForSingleObject(m_hEventShutdown, m_dwTimeOut);
            if (m_bMonitorStop)
                return;
        } while (wait == WAIT_OBJECT_0);
        if (!m_bActivity && GetLockCount() == 0) {
            PostThreadMessageW(m_dwMainThreadID, WM_QUIT, 0, 0);
            return;
        }
    }
}

void CAtlServiceModuleBase::LoadServiceName(UINT id) noexcept {
    if (m_szServiceName[0])
        return;
    if (LoadStringW(GetModuleInstance(), id, m_szServiceName, 256) <= 0)
        wcscpy(m_szServiceName, L"Service");
}

bool CAtlServiceModuleBase::IsInstalled() noexcept {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!scm)
        return false;
    SC_HANDLE svc = OpenServiceW(scm, m_szServiceName, SERVICE_QUERY_CONFIG);
    const bool installed = svc != nullptr;
    if (svc)
        CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return installed;
}

bool CAtlServiceModuleBase::Install() noexcept {
    if (IsInstalled())
        return true;
    wchar_t path[MAX_PATH + 2];
    const DWORD n = GetModuleFileNameW(GetModuleInstance(), path + 1, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    path[0] = L'"';
    path[n + 1] = L'"';
    path[n + 2] = L'\0';
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!scm) {
        AtlMessageBox(Text(IDS_OPEN_SCM, L"Could not open Service Manager").c_str(),
                      m_szServiceName, MB_OK);
        return false;
    }
    SC_HANDLE svc =
        CreateServiceW(scm, m_szServiceName, m_szServiceName, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path,
                       nullptr, nullptr, L"RPCSS\0", nullptr, nullptr);
    if (!svc) {
        CloseServiceHandle(scm);
        AtlMessageBox(Text(IDS_START_SERVICE, L"Could not start service").c_str(), m_szServiceName,
                      MB_OK);
        return false;
    }
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return true;
}

bool CAtlServiceModuleBase::Uninstall() noexcept {
    if (!IsInstalled())
        return true;
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!scm) {
        AtlMessageBox(Text(IDS_OPEN_SCM, L"Could not open Service Manager").c_str(),
                      m_szServiceName, MB_OK);
        return false;
    }
    SC_HANDLE svc = OpenServiceW(scm, m_szServiceName, SERVICE_STOP | DELETE);
    if (!svc) {
        CloseServiceHandle(scm);
        AtlMessageBox(Text(IDS_OPEN_SERVICE, L"Could not open service").c_str(), m_szServiceName,
                      MB_OK);
        return false;
    }
    SERVICE_STATUS status = {};
    if (!ControlService(svc, SERVICE_CONTROL_STOP, &status)) {
        const DWORD err = GetLastError();
        const bool stopping = err == ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
                              status.dwCurrentState == SERVICE_STOP_PENDING;
        if (err != ERROR_SERVICE_NOT_ACTIVE && !stopping)
            AtlMessageBox(Text(IDS_STOP_SERVICE, L"Could not stop service").c_str(),
                          m_szServiceName, MB_OK);
    }
    const bool deleted = DeleteService(svc) != FALSE;
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    if (!deleted)
        AtlMessageBox(Text(IDS_DELETE_SERVICE, L"Could not delete service").c_str(),
                      m_szServiceName, MB_OK);
    return deleted;
}

void CAtlServiceModuleBase::LogEvent(const wchar_t* format, ...) noexcept {
    wchar_t text[256];
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, 255, format, args);
    va_end(args);
    text[255] = L'\0';
    if (!m_bService)
        std::fwprintf(stdout, L"%ls\n", text);
    HANDLE source = RegisterEventSourceW(nullptr, m_szServiceName);
    if (source) {
        const wchar_t* strings[1] = {text};
        ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(source);
    }
}

void CAtlServiceModuleBase::SetServiceStatus(DWORD state) noexcept {
    m_status.dwCurrentState = state;
    if (m_hServiceStatus)
        ::SetServiceStatus(m_hServiceStatus, &m_status);
}

HRESULT CAtlServiceModuleBase::RegisterAppIdFor(bool service,
                                                HRESULT (*updateAppId)(CAtlServiceModuleBase*,
                                                                       BOOL)) {
    if (!Uninstall())
        return E_FAIL;
    HRESULT hr = updateAppId(this, TRUE);
    if (FAILED(hr))
        return hr;
    const wchar_t* appid = AppIdText();
    if (!appid)
        return E_UNEXPECTED;
    HKEY key = nullptr;
    LONG err = OpenAppIdKey(appid, KEY_WRITE, &key);
    if (err != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(err);
    RegDeleteValueW(key, L"LocalService");
    if (service) {
        err = RegSetValueExW(key, L"LocalService", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(m_szServiceName),
                             static_cast<DWORD>((wcslen(m_szServiceName) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        if (err != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(err);
        return Install() ? S_OK : E_FAIL;
    }
    RegCloseKey(key);
    return S_OK;
}

HRESULT CAtlServiceModuleBase::UnregisterAppIdFor(HRESULT (*updateAppId)(CAtlServiceModuleBase*,
                                                                         BOOL)) {
    if (!Uninstall())
        return E_FAIL;
    if (const wchar_t* appid = AppIdText()) {
        HKEY key = nullptr;
        if (OpenAppIdKey(appid, KEY_WRITE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"LocalService");
            RegCloseKey(key);
        }
    }
    return updateAppId(this, FALSE);
}

HRESULT CAtlServiceModuleBase::StartFor(SERVICE_TABLE_ENTRYW* table,
                                        bool* runAsLocalServer) noexcept {
    *runAsLocalServer = false;
    const wchar_t* appid = AppIdText();
    if (!appid)
        return E_UNEXPECTED;
    HKEY key = nullptr;
    const LONG err = OpenAppIdKey(appid, KEY_READ, &key);
    if (err != ERROR_SUCCESS)
        return err; // the registry error itself is the exit code
    wchar_t value[256];
    DWORD size = sizeof(value);
    const LONG query = RegQueryValueExW(key, L"LocalService", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    // A service name longer than 255 characters names no service this
    // program can be: the registry's error ends it, as a missing key does.
    if (query != ERROR_SUCCESS && query != ERROR_FILE_NOT_FOUND)
        return query;
    if (query == ERROR_FILE_NOT_FOUND) {
        *runAsLocalServer = true;
        return S_OK;
    }
    m_bService = true;
    if (!StartServiceCtrlDispatcherW(table))
        return static_cast<HRESULT>(GetLastError());
    return static_cast<HRESULT>(m_status.dwWin32ExitCode);
}

DWORD WINAPI CAtlServiceModuleBase::HandlerEx(DWORD opcode, DWORD, void*, void* context) {
    return static_cast<CAtlServiceModuleBase*>(context)->HandlerBody(opcode);
}

DWORD CAtlServiceModuleBase::HandlerBody(DWORD opcode) noexcept {
    switch (opcode) {
    case SERVICE_CONTROL_STOP:
        SetServiceStatus(SERVICE_STOP_PENDING);
        PostThreadMessageW(m_dwMainThreadID, WM_QUIT, 0, 0);
        break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_SHUTDOWN:
        break;
    default:
        LogEvent(L"Bad service request");
    }
    return NO_ERROR;
}

void CAtlServiceModuleBase::ServiceMainBody() noexcept {
    m_status.dwCurrentState = SERVICE_START_PENDING;
    m_hServiceStatus = RegisterServiceCtrlHandlerExW(m_szServiceName, &HandlerEx, this);
    if (!m_hServiceStatus) {
        LogEvent(L"Handler not installed");
        return;
    }
    m_dwMainThreadID = GetCurrentThreadId();
    // The thread's queue must exist before a stop request can post to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    m_status.dwWin32ExitCode = S_OK;
    SetServiceStatus(SERVICE_START_PENDING);
    if (FAILED(CoInitialize(nullptr)))
        return;
    const HRESULT hr = RegisterClassObjects(CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
    if (SUCCEEDED(hr)) {
        LogEvent(L"Service started");
        SetServiceStatus(SERVICE_RUNNING);
        RunMessageLoop();
        RevokeClassObjects();
    } else {
        m_status.dwWin32ExitCode = static_cast<DWORD>(hr);
    }
    CoUninitialize();
    SetServiceStatus(SERVICE_STOPPED);
    LogEvent(L"Service stopped");
}

} // namespace ATL
