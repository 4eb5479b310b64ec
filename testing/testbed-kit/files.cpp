#include "files.h"

#include <windows.h>

#include <memory>

bool readWholeFile(const std::wstring& path, std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> closer(file, CloseHandle);
    char buffer[16384];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    return true;
}
