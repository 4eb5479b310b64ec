#pragma once
// Errors at the COM boundary: CAtlException carries an HRESULT through C++
// code; _com_error (declared by <comdef.h>) is raised through
// _com_issue_error/_com_issue_errorex, which mingw declares without a library.

#include <windows.h>
#include <comdef.h>

#include <exception>

namespace ATL {

class CAtlException : public std::exception {
public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT hr() const noexcept { return m_hr; }
    const char* what() const noexcept override { return "CAtlException"; }

    HRESULT m_hr;
};

[[noreturn]] void AtlThrow(HRESULT hr);
// Throws CAtlException(HRESULT_FROM_WIN32(GetLastError())), E_FAIL when no error is set.
[[noreturn]] void AtlThrowLastWin32();

// Runs f and turns any exception into an HRESULT: no C++ exception may leave a
// COM method, a window procedure or a thread start.
template <class F>
HRESULT CallNoThrow(F&& f) noexcept {
    try {
        return f();
    } catch (const CAtlException& e) {
        return e.m_hr;
    } catch (const _com_error& e) {
        return e.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace ATL
