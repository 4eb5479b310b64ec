#pragma once
// Strict conversion between UTF-8 narrow strings and wide strings (UTF-16 on
// Windows, UTF-32 where wchar_t is 32 bits). Invalid input throws utfcpp's
// exceptions ("Invalid UTF-8", "Invalid UTF-16", "Invalid code point").

#include <string>

namespace FW {

std::string wstring_to_utf8(const std::wstring& src);
std::wstring utf8_to_wstring(const std::string& src);

} // namespace FW
