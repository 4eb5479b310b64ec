// Runs the page benchmarks in the NPAPI test browser against nporvela.dll; the
// pages print their own figures.

#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    const std::wstring command =
        L"\"" ORVELA_BROWSER L"\" --no-journal --timeout 600 --plugin "
                             L"\"" ORVELA_PLUGIN L"\" \"" ORVELA_BENCH_PAGES L"\\settick.html\"";
    std::wstring line = command;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "page_bench: cannot start the browser (error %lu)\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0)
        std::fprintf(stderr, "page_bench: the browser ended with %lu\n", code);
    return static_cast<int>(code);
}
