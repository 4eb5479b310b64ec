// heat.exe: calls a library's registration entry the way the installer
// toolset's harvester does. Registration from a program of this name writes
// the machine-wide keys, which is what COM in the test prefix reads.
//
//   heat.exe register|unregister|install|uninstall <library> [command line]

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

// An export of the library as the function type it has.
template <class F>
F entryPoint(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr,
                      L"usage: heat.exe register|unregister|install|uninstall DLL [TEXT]\n");
        return 2;
    }
    HMODULE library = LoadLibraryW(argv[2]);
    if (!library) {
        std::fwprintf(stderr, L"heat.exe: cannot load %ls (%lu)\n", argv[2], GetLastError());
        return 3;
    }
    using Entry = HRESULT(__stdcall*)();
    using Install = HRESULT(__stdcall*)(BOOL, LPCWSTR);
    HRESULT hr = E_INVALIDARG;
    const wchar_t* word = argv[1];
    if (!std::wcscmp(word, L"register") || !std::wcscmp(word, L"unregister")) {
        auto entry = entryPoint<Entry>(
            library, !std::wcscmp(word, L"register") ? "DllRegisterServer" : "DllUnregisterServer");
        hr = entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    } else if (!std::wcscmp(word, L"install") || !std::wcscmp(word, L"uninstall")) {
        auto entry = entryPoint<Install>(library, "DllInstall");
        hr = entry ? entry(!std::wcscmp(word, L"install"), argc > 3 ? argv[3] : nullptr)
                   : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    std::wprintf(L"heat.exe %ls: 0x%08lX\n", word, static_cast<unsigned long>(hr));
    FreeLibrary(library);
    return SUCCEEDED(hr) ? 0 : 1;
}
