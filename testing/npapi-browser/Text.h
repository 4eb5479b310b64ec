#pragma once
// UTF-8 / UTF-16 conversions and whole-file reads the browser's parts share.

#include <string>

namespace npbrowser {

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);
// Appends the file's bytes to content; false when it cannot be opened.
bool readFile(const std::wstring& path, std::string& content);

} // namespace npbrowser
