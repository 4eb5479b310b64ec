#pragma once
// Running another program of the prefix from a test, as a client of the
// objects this thread serves: the test's messages keep flowing meanwhile.

#include <windows.h>

#include "com_types.h"

#include <cstring>
#include <string>
#include <utility>

namespace testsupport {

// A build path ("Z:/a/b") as Windows programs read it on their command line.
inline std::wstring windowsPath(const char* path) {
    std::wstring out(path, path + std::strlen(path));
    for (wchar_t& c : out)
        if (c == L'/')
            c = L'\\';
    return out;
}

// Runs a program to its end, dispatching this thread's messages meanwhile (the
// program may send messages to windows of this thread, or call objects that
// this thread serves); answers its exit code and collects its output.
inline DWORD runProgram(std::wstring commandLine, std::string& output,
                        const wchar_t* environment = nullptr, DWORD timeoutMs = 60000) {
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, file);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ATL::CHandle sink(CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = sink;
    startup.hStdError = sink;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                       environment ? CREATE_UNICODE_ENVIRONMENT : 0,
                       const_cast<wchar_t*>(environment), nullptr, &startup, &process);
    sink.Close();
    DWORD code = ~0u;
    if (started) {
        ATL::CHandle thread(process.hThread), child(process.hProcess);
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) {
                TerminateProcess(process.hProcess, 1);
                break;
            }
            if (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, timeoutMs - elapsed,
                                          QS_ALLINPUT) == WAIT_OBJECT_0) {
                GetExitCodeProcess(process.hProcess, &code);
                break;
            }
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    {
        ATL::CHandle in(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        char buffer[4096];
        DWORD got = 0;
        while (in && ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got)
            output.append(buffer, got);
    }
    DeleteFileW(file);
    return code;
}

// The same for a program whose output the test does not read.
inline DWORD runProgram(std::wstring commandLine, DWORD timeoutMs = 60000) {
    std::string output;
    return runProgram(std::move(commandLine), output, nullptr, timeoutMs);
}

} // namespace testsupport
