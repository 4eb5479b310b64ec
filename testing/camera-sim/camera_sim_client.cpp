#include "camera_sim_client.h"

#include "camera_sim.h"
#include "com_ptr.h"
#include "files.h"
#include "journal_writer.h"

#include <oleauto.h>

#include <string>
#include <vector>

namespace CameraSim {

namespace {

bool readEnv(const wchar_t* name, std::wstring& value) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return false;
    std::wstring buffer(size, L'\0');
    DWORD length = GetEnvironmentVariableW(name, &buffer[0], size);
    buffer.resize(length);
    value = buffer;
    return true;
}

bool readSetting(std::wstring& value) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kJournalValueName, RRF_RT_REG_SZ, nullptr,
                     buffer, &size) != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

void writeSetting(const std::wstring& value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kJournalValueName, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    announceSettingsChange();
}

void deleteSetting() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kJournalValueName);
    announceSettingsChange();
}

std::wstring freshTempPath() {
    wchar_t folder[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, folder);
    std::wstring path(folder, length);
    static LONG counter = 0;
    path += L"camsim-journal-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter)) + L"-" +
            std::to_wstring(GetTickCount()) + L".log";
    return path;
}

void truncateFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

// Sends a request to the simulators (of one process, when pid is not 0), to
// each of them or until one takes it; answers how many took it.
int sendToSimulators(const COPYDATASTRUCT& data, DWORD pid, bool untilOneTakes) {
    int accepted = 0;
    for (HWND window : findSimulators(pid)) {
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                SMTO_NORMAL, 5000, &answer) &&
            answer == TRUE) {
            ++accepted;
            if (untilOneTakes)
                break;
        }
    }
    return accepted;
}

int sendRequest(const RaiseEventRequest& header, const std::wstring& text, DWORD pid) {
    std::string payload(reinterpret_cast<const char*>(&header), sizeof header);
    payload.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    const COPYDATASTRUCT data{kRaiseEventRequest, static_cast<DWORD>(payload.size()), &payload[0]};
    return sendToSimulators(data, pid, false);
}

} // namespace

JournalFile::JournalFile(std::wstring path) : path_(path.empty() ? freshTempPath() : path) {
    truncateFile(path_);
    hadEnv_ = readEnv(kJournalEnvVar, previousEnv_);
    hadSetting_ = readSetting(previousSetting_);
    SetEnvironmentVariableW(kJournalEnvVar, path_.c_str());
    writeSetting(path_);
    clearRequestedFailures();
}

JournalFile::~JournalFile() {
    SetEnvironmentVariableW(kJournalEnvVar, hadEnv_ ? previousEnv_.c_str() : nullptr);
    if (hadSetting_)
        writeSetting(previousSetting_);
    else
        deleteSetting();
    clearRequestedFailures();
    if (!keep_)
        DeleteFileW(path_.c_str());
}

Records JournalFile::records() const {
    return readJournal(path_);
}
Records JournalFile::calls() const {
    return ofKind(records(), JournalRecord::Kind::Call);
}
Records JournalFile::events() const {
    return ofKind(records(), JournalRecord::Kind::Event);
}
Records JournalFile::deliveries() const {
    return ofKind(records(), JournalRecord::Kind::Delivery);
}
void JournalFile::clear() const {
    truncateFile(path_);
}

bool JournalFile::waitFor(const std::function<bool(const Records&)>& predicate,
                          DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        if (predicate(records()))
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        pumpMessages(10);
    }
}

Records readJournal(const std::wstring& path) {
    Records records;
    std::string content;
    readWholeFile(path, content);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            break; // a line still being written
        if (auto record = parseJournalRecord(content.substr(start, end - start)))
            records.push_back(std::move(*record));
        start = end + 1;
    }
    return records;
}

Records currentJournal() {
    const DWORD size = GetEnvironmentVariableW(kJournalEnvVar, nullptr, 0);
    if (size == 0)
        return {};
    std::wstring path(size, L'\0');
    GetEnvironmentVariableW(kJournalEnvVar, &path[0], size);
    path.resize(size - 1);
    return readJournal(path);
}

std::vector<std::string> journalFields(const JournalRecord& record) {
    const std::string line = formatJournalRecord(record);
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    fields.resize(8);
    return fields;
}

Records callsOf(const Records& records, int slot) {
    Records out;
    for (const JournalRecord& r : records)
        if (r.kind == JournalRecord::Kind::Call && r.slot == slot)
            out.push_back(r);
    return out;
}

Records ofKind(const Records& records, JournalRecord::Kind kind) {
    Records out;
    for (const JournalRecord& r : records)
        if (r.kind == kind)
            out.push_back(r);
    return out;
}

size_t countEvents(const Records& records) {
    return ofKind(records, JournalRecord::Kind::Event).size();
}

void failNextCall(int slot, HRESULT hr) {
    DWORD value = static_cast<DWORD>(hr);
    std::wstring name = std::to_wstring(slot);
    RegSetKeyValueW(HKEY_CURRENT_USER, kFailNextKey, name.c_str(), REG_DWORD, &value, sizeof value);
    announceSettingsChange();
}

bool failCamera(const std::wstring& fault, DWORD value) {
    if (fault != kFaultCreate && fault != kFaultQuery && fault != kFaultAdvise &&
        fault != kFaultStall)
        return false;
    const bool stored = RegSetKeyValueW(HKEY_CURRENT_USER, kFaultsKey, fault.c_str(), REG_DWORD,
                                        &value, sizeof value) == ERROR_SUCCESS;
    announceSettingsChange();
    return stored;
}

void clearRequestedFailures() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kFailNextKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kFaultsKey);
    announceSettingsChange();
}

std::vector<HWND> findSimulators(DWORD pid) {
    std::vector<HWND> found;
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, kRequestWindowClass, nullptr))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (pid == 0 || pid == owner)
            found.push_back(window);
    }
    return found;
}

int requestEvent(const std::wstring& text, LONG type, LONG subtype, DWORD pid) {
    return sendRequest(RaiseEventRequest{1, type, subtype, 1}, text, pid);
}

int requestEvents(const std::wstring& text, LONG type, LONG subtype, LONG count, DWORD pid) {
    return sendRequest(RaiseEventRequest{1, type, subtype, count}, text, pid);
}

int requestForeignEvent(LONG dispid, DWORD pid) {
    return sendRequest(RaiseEventRequest{dispid, 0, 0, 1}, std::wstring(), pid);
}

bool requestPicture(const std::wstring& path, DWORD pid) {
    const COPYDATASTRUCT data{kPictureRequest, static_cast<DWORD>(path.size() * sizeof(wchar_t)),
                              const_cast<wchar_t*>(path.data())};
    return sendToSimulators(data, pid, true) > 0;
}

void pumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

namespace {

bool registerDll(const wchar_t* path) {
    HMODULE dll = LoadLibraryW(path);
    if (!dll)
        return false;
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<RegisterFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    const bool done = registerServer && SUCCEEDED(registerServer());
    FreeLibrary(dll);
    return done;
}

// A parameter of a function description; `type` must outlive it.
ELEMDESC parameter(TYPEDESC& type, USHORT flags) {
    ELEMDESC param = {};
    param.tdesc = type;
    param.paramdesc.wParamFlags = flags;
    return param;
}

HRESULT addMethod(ICreateTypeInfo* info, UINT index, unsigned slot, CALLCONV convention,
                  std::vector<ELEMDESC>& params, std::vector<LPOLESTR> names) {
    FUNCDESC func = {};
    func.memid = static_cast<MEMBERID>(slot);
    func.funckind = FUNC_PUREVIRTUAL;
    func.invkind = INVOKE_FUNC;
    func.callconv = convention;
    func.cParams = static_cast<SHORT>(params.size());
    func.lprgelemdescParam = params.data();
    func.oVft = static_cast<SHORT>(slot * sizeof(void*));
    func.elemdescFunc.tdesc.vt = VT_HRESULT;
    HRESULT hr = info->AddFuncDesc(index, &func);
    if (SUCCEEDED(hr))
        hr = info->SetFuncAndParamNames(index, names.data(), static_cast<UINT>(names.size()));
    return hr;
}

// Writes the camera's type library (identity and version 1.0) with slots 7
// and 8 of its interface, slot 8 in the given form.
HRESULT writeVersionLibrary(const std::wstring& path, VersionSlotForm form) {
    ATL::CComPtr<ICreateTypeLib2> library;
    HRESULT hr = CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, path.c_str(), &library);
    if (FAILED(hr))
        return hr;
    library->SetGuid(LIBID_MorvathCtrlLib);
    library->SetVersion(1, 0);
    library->SetName(const_cast<LPOLESTR>(L"MorvathCtrlLib"));
    ATL::CComPtr<ITypeLib> stdole;
    ATL::CComPtr<ITypeInfo> dispatch;
    ATL::CComPtr<ICreateTypeInfo> info;
    HREFTYPE base = 0;
    if (FAILED(hr = LoadTypeLib(L"stdole2.tlb", &stdole)) ||
        FAILED(hr = stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch)) ||
        FAILED(hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"IMorvathCtrl"), TKIND_INTERFACE,
                                            &info)) ||
        FAILED(hr = info->SetGuid(IID_IMorvathCtrl)) ||
        FAILED(hr = info->AddRefTypeInfo(dispatch, &base)) ||
        FAILED(hr = info->AddImplType(0, base)))
        return hr;

    TYPEDESC number = {};
    number.vt = VT_I4;
    TYPEDESC text = {};
    text.vt = VT_BSTR;
    TYPEDESC numberOut = {};
    numberOut.vt = VT_PTR;
    numberOut.lptdesc = &number;
    TYPEDESC textOut = {};
    textOut.vt = VT_PTR;
    textOut.lptdesc = &text;
    const USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    std::vector<ELEMDESC> initParams{parameter(numberOut, retval)};
    std::vector<ELEMDESC> versionParams;
    if (form == VersionSlotForm::TwoParameters)
        versionParams.push_back(parameter(number, PARAMFLAG_FIN));
    versionParams.push_back(parameter(textOut, retval));
    std::vector<LPOLESTR> versionNames{const_cast<LPOLESTR>(L"GetCtrlVersion")};
    if (form == VersionSlotForm::TwoParameters)
        versionNames.push_back(const_cast<LPOLESTR>(L"nKind"));
    if (FAILED(hr = addMethod(info, 0, 7, CC_STDCALL, initParams,
                              {const_cast<LPOLESTR>(L"InitCtrl")})) ||
        FAILED(hr = addMethod(info, 1, 8, form == VersionSlotForm::Cdecl ? CC_CDECL : CC_STDCALL,
                              versionParams, versionNames)) ||
        FAILED(hr = info->LayOut()))
        return hr;
    return library->SaveAllChanges();
}

} // namespace

SubstituteVersionDeclaration::SubstituteVersionDeclaration(VersionSlotForm form,
                                                           const wchar_t* restore)
    : restore_(restore) {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH)
        return;
    path_ = std::wstring(folder) + L"orvela-version-slot-" +
            (form == VersionSlotForm::Cdecl ? L"cdecl" : L"two-parameters") + L".tlb";
    ATL::CComPtr<ITypeLib> library;
    registered_ = SUCCEEDED(writeVersionLibrary(path_, form)) &&
                  SUCCEEDED(LoadTypeLibEx(path_.c_str(), REGKIND_REGISTER, &library));
}

SubstituteVersionDeclaration::~SubstituteVersionDeclaration() {
    registerDll(restore_.c_str());
    if (!path_.empty())
        DeleteFileW(path_.c_str());
}

SubstituteControl::SubstituteControl(const wchar_t* substitute, const wchar_t* restore)
    : restore_(restore) {
    // Class objects and libraries of the replaced build may be cached.
    CoFreeUnusedLibraries();
    registered_ = registerDll(substitute);
}

SubstituteControl::~SubstituteControl() {
    CoFreeUnusedLibraries();
    registerDll(restore_.c_str());
}

} // namespace CameraSim
