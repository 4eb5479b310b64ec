// orvelaX64: serves X64ConfigCtrl as a COM local server or as the Windows
// service "KavrinX64", and registers itself from its command line
// (/RegServer, /UnregServer, /Service).
#include "CX64ConfigCtrl.h"

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

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    SetMessageBoxHook(&ReportToErrorOutput);
    return _AtlModule.WinMain(show);
}
