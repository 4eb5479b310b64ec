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
    if (!cmdLine || !word)
        return false;
    const size_t len = std::wcslen(word);
    for (const wchar_t* p = cmdLine; *p; ++p) {
        if (*p != L'-' && *p != L'/')
            continue;
        const wchar_t* start = p + 1;
        const wchar_t* end = start;
        while (*end && *end != L' ' && *end != L'\t')
            ++end;
        if (static_cast<size_t>(end - start) == len && sameWord(start, word, len))
            return true;
    }
    return false;
}

} // namespace ATL
