#include "resources.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

namespace {

DWORD processIdOf(const std::wstring& exeName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0)
            found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

struct WindowCount {
    DWORD processId;
    unsigned count;
};

BOOL CALLBACK countChild(HWND window, LPARAM data) {
    auto* windows = reinterpret_cast<WindowCount*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == windows->processId)
        ++windows->count;
    return TRUE;
}

BOOL CALLBACK countTop(HWND window, LPARAM data) {
    countChild(window, data);
    EnumChildWindows(window, countChild, data);
    return TRUE;
}

// Wine counts no USER objects; the process's windows stand in for them.
unsigned windowsOf(DWORD processId) {
    WindowCount windows{processId, 0};
    EnumWindows(countTop, reinterpret_cast<LPARAM>(&windows));
    HWND message = nullptr;
    while ((message = FindWindowExW(HWND_MESSAGE, message, nullptr, nullptr)) != nullptr)
        countChild(message, reinterpret_cast<LPARAM>(&windows));
    return windows.count;
}

std::string describe(HANDLE process) {
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    // Wine leaves PrivateUsage at 0; its committed bytes stand in.
    const SIZE_T privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    return std::to_string(handles) + " " + std::to_string(GetGuiResources(process, GR_GDIOBJECTS)) +
           " " + std::to_string(user ? user : windowsOf(GetProcessId(process))) + " " +
           std::to_string(static_cast<unsigned long long>(privateBytes));
}

} // namespace

std::string processResources(const std::wstring& exeName) {
    if (exeName.empty())
        return describe(GetCurrentProcess());
    const DWORD id = processIdOf(exeName);
    HANDLE process =
        id ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id) : nullptr;
    if (process == nullptr)
        return std::string();
    std::string text = describe(process);
    CloseHandle(process);
    return text;
}
