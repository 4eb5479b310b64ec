#pragma once
// The registration words of a program's command line. Free of Windows
// headers, so the native build can exercise it too.

namespace ATL {

// True when cmdLine holds word right after a '-' or '/' (ASCII letters match
// in either case); the word ends at a space, a tab or the end of the line.
bool HasCommandWord(const wchar_t* cmdLine, const wchar_t* word) noexcept;

// The index in words of the first word of cmdLine, in scan order, that
// matches one of them as HasCommandWord does; -1 when none does.
int FirstCommandWord(const wchar_t* cmdLine, const wchar_t* const* words, int count) noexcept;

// "UnregServer" and "RegServer" are taken in scan order: the first one on the
// line is the one carried out.
enum class RegistrationWord { None, Unregister, Register };
RegistrationWord FirstRegistrationWord(const wchar_t* cmdLine) noexcept;

// Whether some argument after the program's name is none of words given after
// a '-' or '/' (a bare argument counts as unknown too); such a line asks for
// nothing the program does.
bool HasUnknownCommandWord(const wchar_t* cmdLine, const wchar_t* const* words, int count) noexcept;

} // namespace ATL
