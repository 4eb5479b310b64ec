#include "text.h"

#include "com_error.h"

#include <climits>

namespace ATL {
namespace {

int checkedLength(size_t n) {
    if (n > static_cast<size_t>(INT_MAX))
        AtlThrow(E_OUTOFMEMORY);
    return static_cast<int>(n);
}

// The number of UTF-16 units that in takes in code page cp.
int wideLength(UINT cp, DWORD flags, std::string_view in) {
    if (in.empty())
        return 0;
    const int n = MultiByteToWideChar(cp, flags, in.data(), checkedLength(in.size()), nullptr, 0);
    if (n <= 0)
        AtlThrow(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
    return n;
}

// Writes the n units that wideLength counted.
void writeWide(UINT cp, DWORD flags, std::string_view in, wchar_t* out, int n) {
    if (n)
        MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out, n);
}

std::wstring toWide(UINT cp, DWORD flags, std::string_view in) {
    const int n = wideLength(cp, flags, in);
    std::wstring out(static_cast<size_t>(n), L'\0');
    writeWide(cp, flags, in, out.data(), n);
    return out;
}

std::string fromWide(UINT cp, DWORD flags, std::wstring_view in) {
    std::string out;
    if (in.empty())
        return out;
    const int len = checkedLength(in.size());
    const int n = WideCharToMultiByte(cp, flags, in.data(), len, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        AtlThrow(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(cp, flags, in.data(), len, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
    return toWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
}
std::string WideToUtf8(std::wstring_view wide) {
    return fromWide(CP_UTF8, WC_ERR_INVALID_CHARS, wide);
}
std::wstring AnsiToWide(std::string_view ansi) {
    return toWide(CP_ACP, 0, ansi);
}
std::string WideToAnsi(std::wstring_view wide) {
    return fromWide(CP_ACP, 0, wide);
}
BSTR AnsiToBstr(std::string_view ansi) {
    const int n = wideLength(CP_ACP, 0, ansi);
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (!out)
        AtlThrow(E_OUTOFMEMORY);
    writeWide(CP_ACP, 0, ansi, out, n);
    return out;
}

} // namespace ATL
