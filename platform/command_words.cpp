#include "command_words.h"

#include <cwchar>

namespace ATL {
namespace {

wchar_t foldAscii(wchar_t c) noexcept {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool sameWord(const wchar_t* a, const wchar_t* b, size_t len) noexcept {
    for (size_t i = 0; i < len; ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

} // namespace

bool HasCommandWord(const wchar_t* cmdLine, const wchar_t* word) noexcept {
    return word && FirstCommandWord(cmdLine, &word, 1) == 0;
}

int FirstCommandWord(const wchar_t* cmdLine, const wchar_t* const* words, int count) noexcept {
    if (!cmdLine || !words)
        return -1;
    for (const wchar_t* p = cmdLine; *p; ++p) {
        if (*p != L'-' && *p != L'/')
            continue;
        const wchar_t* start = p + 1;
        const wchar_t* end = start;
        while (*end && *end != L' ' && *end != L'\t')
            ++end;
        const size_t len = static_cast<size_t>(end - start);
        for (int i = 0; i < count; ++i) {
            if (words[i] && std::wcslen(words[i]) == len && sameWord(start, words[i], len))
                return i;
        }
    }
    return -1;
}

bool HasUnknownCommandWord(const wchar_t* cmdLine, const wchar_t* const* words,
                           int count) noexcept {
    if (!cmdLine)
        return false;
    const wchar_t* p = cmdLine;
    // The program's name, quoted when it holds blanks.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p)
            ++p;
    }
    while (*p && *p != L' ' && *p != L'\t')
        ++p;
    for (;;) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (!*p)
            return false;
        const wchar_t* start = p;
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
        if (*start != L'-' && *start != L'/')
            return true;
        const size_t len = static_cast<size_t>(p - start - 1);
        bool known = false;
        for (int i = 0; i < count && !known; ++i)
            known = words && words[i] && std::wcslen(words[i]) == len &&
                    sameWord(start + 1, words[i], len);
        if (!known)
            return true;
    }
}

RegistrationWord FirstRegistrationWord(const wchar_t* cmdLine) noexcept {
    static const wchar_t* const words[] = {L"UnregServer", L"RegServer"};
    switch (FirstCommandWord(cmdLine, words, 2)) {
    case 0:
        return RegistrationWord::Unregister;
    case 1:
        return RegistrationWord::Register;
    default:
        return RegistrationWord::None;
    }
}

} // namespace ATL
