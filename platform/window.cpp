#include "window.h"

#include <cwchar>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ATL {

HWND CWindowImplRoot::CreateWindowOf(const void* key, HWND parent, const RECT& rc,
                                     const wchar_t* name, DWORD style, DWORD exStyle,
                                     UINT id) noexcept {
    if (m_hWnd)
        return nullptr;
    const HINSTANCE inst = reinterpret_cast<HINSTANCE>(&__ImageBase);
    // One class per C++ window class; the key's address tells them apart.
    wchar_t className[40];
    std::swprintf(className, 40, L"Orvela:%p", key);
    WNDCLASSEXW wc = {};
    if (!GetClassInfoExW(inst, className, &wc)) {
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &CWindowImplRoot::WindowProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = className;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return nullptr;
    }
    return CreateWindowExW(
        exStyle, className, name, style, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
        parent, (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr,
        inst, this);
}

void CWindowImplRoot::DetachAndDestroy() noexcept {
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    ::DestroyWindow(hWnd);
}

LRESULT CALLBACK CWindowImplRoot::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam,
                                             LPARAM lParam) noexcept {
    CWindowImplRoot* self = nullptr;
    if (uMsg == WM_NCCREATE) {
        self =
            static_cast<CWindowImplRoot*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CWindowImplRoot*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT result = 0;
    BOOL handled = FALSE;
    try {
        handled = self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0);
    } catch (...) {
        handled = TRUE;
        result = 0;
    }
    if (!handled)
        result = DefWindowProcW(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        try {
            self->OnFinalMessage(hWnd);
        } catch (...) {
        }
    }
    return result;
}

} // namespace ATL
