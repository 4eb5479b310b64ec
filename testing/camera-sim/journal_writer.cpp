#include "journal_writer.h"

#include "sim_settings.h"

#include <cwchar>

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

// Serialises appends across processes; created once per process.
class JournalLock {
public:
    JournalLock() : mutex_(shared()) {
        if (mutex_)
            WaitForSingleObject(mutex_, 5000);
    }
    ~JournalLock() {
        if (mutex_)
            ReleaseMutex(mutex_);
    }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

private:
    static HANDLE shared() {
        static const struct Holder {
            HANDLE handle = CreateMutexW(nullptr, FALSE, kJournalMutexName);
            ~Holder() {
                if (handle)
                    CloseHandle(handle);
            }
        } holder;
        return holder.handle;
    }

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

bool fastModeRequested() {
    wchar_t buffer[8];
    const DWORD length = GetEnvironmentVariableW(kFastEnvVar, buffer, 8);
    if (length > 0 && length < 8)
        return std::wcscmp(buffer, L"1") == 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kFastValueName, RRF_RT_REG_DWORD, nullptr,
                        &value, &size) == ERROR_SUCCESS &&
           value != 0;
}

void appendToJournal(const JournalRecord& record) {
    appendToJournal(journalPath(), record);
}

void appendToJournal(const std::wstring& path, const JournalRecord& record) {
    if (path.empty())
        return;
    std::string line = formatJournalRecord(record);
    line += '\n';
    JournalLock lock;
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
    if (failure)
        announceSettingsChange();
    return failure;
}

std::optional<DWORD> takeCameraFault(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kFaultsKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    // Serialised with the journal's lock, so two processes never take the same unit.
    JournalLock lock;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    std::optional<DWORD> taken;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD) {
        const bool counted = std::wcscmp(name, kFaultStall) != 0;
        const DWORD left = counted && value > 0 ? value - 1 : 0;
        const LSTATUS done = left > 0
                                 ? RegSetValueExW(key, name, 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&left), sizeof left)
                                 : RegDeleteValueW(key, name);
        if (done == ERROR_SUCCESS && (!counted || value > 0))
            taken = value;
    }
    RegCloseKey(key);
    if (taken)
        announceSettingsChange();
    return taken;
}

namespace {

// A counter in memory shared by every process of the prefix; whoever changes
// the settings increments it, and simulators re-read the registry only when it
// moved. Reading it costs no system call.
volatile LONG* settingsGeneration() {
    static const struct Shared {
        HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(LONG), kSettingsGenerationName);
        volatile LONG* counter = mapping ? static_cast<volatile LONG*>(MapViewOfFile(
                                               mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)))
                                         : nullptr;
        ~Shared() {
            if (counter)
                UnmapViewOfFile(const_cast<LONG*>(counter));
            if (mapping)
                CloseHandle(mapping);
        }
    } shared;
    return shared.counter;
}

} // namespace

void announceSettingsChange() {
    if (volatile LONG* counter = settingsGeneration())
        InterlockedIncrement(counter);
}

SettingsWatch::SettingsWatch() : generation_(settingsGeneration()) {}

void SettingsWatch::refreshIfChanged() {
    // Without the shared counter every call reads the registry.
    if (generation_) {
        const LONG now = InterlockedCompareExchange(generation_, 0, 0);
        if (known_ && now == seen_)
            return;
        seen_ = now;
        known_ = true;
    }
    registryJournal_ = readRegistryText(HKEY_CURRENT_USER, kSettingsKey, kJournalValueName);
    failingSlots_.reset();
    stallPending_ = RegGetValueW(HKEY_CURRENT_USER, kFaultsKey, kFaultStall, RRF_RT_REG_DWORD,
                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    HKEY failures = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kFailNextKey, 0, KEY_QUERY_VALUE, &failures) !=
        ERROR_SUCCESS)
        return;
    wchar_t name[32];
    for (DWORD i = 0;; ++i) {
        DWORD length = 32;
        if (RegEnumValueW(failures, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const long slot = std::wcstol(name, nullptr, 10);
        if (slot > 0 && slot < static_cast<long>(failingSlots_.size()))
            failingSlots_.set(slot);
    }
    RegCloseKey(failures);
}

std::wstring SettingsWatch::journalPath() {
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(kJournalEnvVar, buffer, MAX_PATH * 2);
    if (length > 0 && length < MAX_PATH * 2)
        return std::wstring(buffer, length);
    refreshIfChanged();
    return registryJournal_;
}

std::optional<HRESULT> SettingsWatch::takeRequestedFailure(int slot) {
    refreshIfChanged();
    if (slot <= 0 || slot >= static_cast<int>(failingSlots_.size()) || !failingSlots_.test(slot))
        return std::nullopt;
    return CameraSim::takeRequestedFailure(slot);
}

std::optional<DWORD> SettingsWatch::takeStall() {
    refreshIfChanged();
    if (!stallPending_)
        return std::nullopt;
    return takeCameraFault(kFaultStall);
}

} // namespace CameraSim
