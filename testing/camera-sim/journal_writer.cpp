#include "journal_writer.h"

#include "sim_settings.h"

namespace CameraSim {

namespace {

std::wstring readRegistryText(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, &type, buffer, &size) != ERROR_SUCCESS)
        return {};
    return buffer;
}

class NamedMutexLock {
public:
    explicit NamedMutexLock(const wchar_t* name) : mutex_(CreateMutexW(nullptr, FALSE, name)) {
        if (mutex_)
            WaitForSingleObject(mutex_, 5000);
    }
    ~NamedMutexLock() {
        if (mutex_) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;

private:
    HANDLE mutex_;
};

} // namespace

std::wstring journalPath() {
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(kJournalEnvVar, buffer, MAX_PATH * 2);
    if (length > 0 && length < MAX_PATH * 2)
        return std::wstring(buffer, length);
    return readRegistryText(HKEY_CURRENT_USER, kSettingsKey, kJournalValueName);
}

void appendToJournal(const JournalRecord& record) {
    std::wstring path = journalPath();
    if (path.empty())
        return;
    std::string line = formatJournalRecord(record);
    line += '\n';
    NamedMutexLock lock(kJournalMutexName);
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::optional<HRESULT> takeRequestedFailure(int slot) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kFailNextKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::wstring name = std::to_wstring(slot);
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    std::optional<HRESULT> failure;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) == ERROR_SUCCESS &&
        type == REG_DWORD && RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS)
        failure = static_cast<HRESULT>(value);
    RegCloseKey(key);
    return failure;
}

} // namespace CameraSim
