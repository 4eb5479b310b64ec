#pragma once
// The registration words of a program's command line. Free of Windows
// headers, so the native build can exercise it too.

namespace ATL {

// True when cmdLine holds word right after a '-' or '/' (ASCII letters match
// in either case); the word ends at a space, a tab or the end of the line.
bool HasCommandWord(const wchar_t* cmdLine, const wchar_t* word) noexcept;

} // namespace ATL
