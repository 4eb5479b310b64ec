// orvelaX64: serves X64ConfigCtrl as a COM local server or as the Windows
// service "KavrinX64", and registers itself from its command line
// (/RegServer, /UnregServer, /Service).
#include "CX64ConfigCtrl.h"

#include "command_words.h"
#include "exe_module.h"

#include <cstdio>

using namespace ATL;

class CKavrinX64Module : public CAtlServiceModuleT<CKavrinX64Module, 100> {
public:
    DECLARE_LIBID(LIBID_KavrinX64Lib)
    DECLARE_REGISTRY_APPID_RESOURCEID(101, L"{0D902167-059D-4128-B191-0BFF738DE68C}")
};

CKavrinX64Module _AtlModule;

OBJECT_ENTRY_AUTO(CLSID_X64ConfigCtrl, CX64ConfigCtrl)

namespace {

// Whoever collected the program's error output (an installer, a script, a
// test) reads the message there instead of waiting for a click.
int ReportToErrorOutput(const wchar_t* text, const wchar_t* caption, UINT type) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (!err || err == INVALID_HANDLE_VALUE)
        return MessageBoxW(nullptr, text, caption, type);
    std::fwprintf(stderr, L"%ls: %ls\n", caption, text);
    std::fflush(stderr);
    return IDOK;
}

// COM starts the server with "-Embedding" (or "/Automation"); the others are
// the registration words.
const wchar_t* const kCommandWords[] = {L"RegServer", L"UnregServer", L"Service", L"Embedding",
                                        L"Automation"};

const wchar_t kUsage[] =
    L"Usage: orvelaX64.exe [/RegServer | /UnregServer | /Service]\n"
    L"  /RegServer    register the camera bridge as a COM local server\n"
    L"  /UnregServer  remove that registration (and the service's)\n"
    L"  /Service      register the bridge as the Windows service KavrinX64\n"
    L"Without a word it serves the bridge to COM, which starts it with -Embedding.";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    SetMessageBoxHook(&ReportToErrorOutput);
    if (HasUnknownCommandWord(GetCommandLineW(), kCommandWords,
                              static_cast<int>(sizeof(kCommandWords) / sizeof(kCommandWords[0])))) {
        ReportToErrorOutput(kUsage, L"orvelaX64", MB_OK | MB_ICONINFORMATION);
        return 2;
    }
    return _AtlModule.WinMain(show);
}
