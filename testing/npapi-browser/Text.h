#pragma once
// UTF-8 / UTF-16 conversions the browser's parts share.

#include <string>

namespace npbrowser {

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

} // namespace npbrowser
