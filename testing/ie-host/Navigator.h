#pragma once
// What Internet Explorer's navigator object tells a page about the browser.

#include <string>

namespace IeHost {

// The processor class the host plays: "x86" or "x64".
std::wstring defaultCpuClass();
// Script that defines the page's navigator for that processor class.
std::wstring navigatorScript(const std::wstring& cpuClass);

} // namespace IeHost
