#include "utf8_tools.h"

#include <iterator>
#include <utf8cpp/utf8.h>

namespace FW {

std::string wstring_to_utf8(const std::wstring& src) {
    std::string out;
    out.reserve(src.size());
    if constexpr (sizeof(wchar_t) == 2) {
        utf8::utf16to8(src.begin(), src.end(), std::back_inserter(out));
    } else {
        utf8::utf32to8(src.begin(), src.end(), std::back_inserter(out));
    }
    return out;
}

std::wstring utf8_to_wstring(const std::string& src) {
    std::wstring out;
    out.reserve(src.size());
    if constexpr (sizeof(wchar_t) == 2) {
        utf8::utf8to16(src.begin(), src.end(), std::back_inserter(out));
    } else {
        utf8::utf8to32(src.begin(), src.end(), std::back_inserter(out));
    }
    return out;
}

} // namespace FW
