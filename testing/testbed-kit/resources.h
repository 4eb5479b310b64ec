#pragma once
// What a process holds, for the soak tests: kernel handles, GDI and USER
// objects and private bytes, as "handles gdi user privateBytes".

#include <string>

// exeName empty: this process; otherwise the first process of that file name
// (for the bridge, which runs apart from the page). "" when it is not found.
std::string processResources(const std::wstring& exeName);
