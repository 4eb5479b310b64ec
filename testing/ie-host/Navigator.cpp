#include "Navigator.h"

namespace IeHost {

std::wstring defaultCpuClass() {
    return sizeof(void*) == 8 ? L"x64" : L"x86";
}

// Internet Explorer 11 on 64-bit Windows 7: the 64-bit browser says Win64 and
// x64, the 32-bit one WOW64 and Win32. Internet Explorer lists no MIME types.
std::wstring navigatorScript(const std::wstring& cpuClass) {
    const bool x64 = cpuClass == L"x64";
    const std::wstring userAgent = std::wstring(L"Mozilla/5.0 (Windows NT 6.1; ") +
                                   (x64 ? L"Win64; x64" : L"WOW64") +
                                   L"; Trident/7.0; rv:11.0) like Gecko";
    return L"var navigator = {appName: \"Netscape\", appVersion: \"5.0 (Windows NT 6.1)\", "
           L"userAgent: \"" +
           userAgent + L"\", platform: \"" + (x64 ? L"Win64" : L"Win32") + L"\", cpuClass: \"" +
           cpuClass + L"\", cookieEnabled: true, mimeTypes: {length: 0}, plugins: {length: 0}};";
}

} // namespace IeHost
