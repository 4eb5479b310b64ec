// The library's entry point: a DLL's window classes outlive it unless it
// unregisters them, and a browser unloads plug-ins it no longer shows.
#include "ax_host.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // At process exit (reserved set) nothing can use the classes any more.
    if (reason == DLL_PROCESS_DETACH && !reserved)
        ATL::AtlAxWinTerm();
    return TRUE;
}
