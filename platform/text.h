#pragma once
// Conversions between UTF-8, UTF-16 and the active ANSI code page.
// UTF-8 and UTF-16 are strict: invalid input throws CAtlException with
// HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION). The ANSI code page is
// lossy by nature: characters it cannot hold become its default character.

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace ATL {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);
// A new BSTR the caller owns, straight from ANSI text; empty text gives an
// empty BSTR, never null.
BSTR AnsiToBstr(std::string_view ansi);

} // namespace ATL
