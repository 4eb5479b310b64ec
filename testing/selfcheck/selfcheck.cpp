// Prints what it checks: the platform the binary runs on, COM start-up and the
// framework's UTF-8/UTF-16 conversions. Exits non-zero if anything fails.
#include "utf8_tools.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>

int main() {
    try {
        std::printf("orvela self-check: %u-bit process, wchar_t is %u bits, ANSI code page %u\n",
                    static_cast<unsigned>(sizeof(void*) * 8),
                    static_cast<unsigned>(sizeof(wchar_t) * 8), GetACP());

        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::printf("CoInitializeEx(apartment) -> 0x%08lX\n", static_cast<unsigned long>(hr));
        if (FAILED(hr))
            return 1;

        const std::string utf8 = "Kamera \xC3\xA9t\xC3\xA9";
        const std::wstring wide = FW::utf8_to_wstring(utf8);
        std::printf("utf8_to_wstring(\"%s\") -> %u UTF-16 units, back: \"%s\"\n", utf8.c_str(),
                    static_cast<unsigned>(wide.size()), FW::wstring_to_utf8(wide).c_str());

        CoUninitialize();
        std::printf("self-check passed\n");
        return 0;
    } catch (const std::exception& e) {
        std::printf("self-check failed: %s\n", e.what());
        return 1;
    }
}
