// UTF-8 <-> wide text: valid input goes round unchanged, invalid input is
// refused with utfcpp's exception, never read past its end.
#include <exception>

#include "ByteReader.h"
#include "FuzzCheck.h"
#include "utf8_tools.h"

using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ByteReader in(data, size);
    const bool asBytes = in.flag();
    if (asBytes) {
        const std::string utf8 = in.rest();
        try {
            const std::wstring wide = FW::utf8_to_wstring(utf8);
            check(FW::wstring_to_utf8(wide) == utf8);
        } catch (const std::exception&) {
        }
        return 0;
    }
    // Wide text from 16-bit units (lone surrogates included) and, where
    // wchar_t is 32 bits, whole code points of any value.
    std::wstring wide;
    while (!in.empty()) {
        if (sizeof(wchar_t) == 4 && in.byte() == 0xff)
            wide.push_back(static_cast<wchar_t>(in.number<uint32_t>()));
        else
            wide.push_back(static_cast<wchar_t>(in.number<uint16_t>()));
    }
    try {
        const std::string utf8 = FW::wstring_to_utf8(wide);
        check(FW::utf8_to_wstring(utf8) == wide);
    } catch (const std::exception&) {
    }
    return 0;
}
