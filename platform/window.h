#pragma once
// Windows with a message map: CWindowImpl<T> registers a window class for T,
// creates the window and routes its messages to T::ProcessWindowMessage,
// which BEGIN_MSG_MAP ... END_MSG_MAP writes:
//
//   BEGIN_MSG_MAP(CThing)
//   MESSAGE_HANDLER(WM_SIZE, OnSize)    // LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL& handled)
//   CHAIN_MSG_MAP(CComControl<CThing>)
//   END_MSG_MAP()
//
// Unhandled messages go to DefWindowProc. No exception leaves the window
// procedure: a throwing handler answers 0.

#include <windows.h>

#include <olectl.h>

namespace ATL {

class CMessageMap {
public:
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult, DWORD dwMsgMapID = 0) = 0;

protected:
    ~CMessageMap() = default;
};

#define BEGIN_MSG_MAP(x)                                                                           \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,                  \
                              LRESULT& lResult, DWORD dwMsgMapID = 0) override {                   \
        BOOL bHandled = TRUE;                                                                      \
        (void)hWnd;                                                                                \
        (void)dwMsgMapID;                                                                          \
        (void)bHandled;
#define MESSAGE_HANDLER(msg, func)                                                                 \
    if (uMsg == (msg)) {                                                                           \
        bHandled = TRUE;                                                                           \
        lResult = func(uMsg, wParam, lParam, bHandled);                                            \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }
#define MESSAGE_RANGE_HANDLER(first, last, func)                                                   \
    if (uMsg >= (first) && uMsg <= (last)) {                                                       \
        bHandled = TRUE;                                                                           \
        lResult = func(uMsg, wParam, lParam, bHandled);                                            \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }
#define CHAIN_MSG_MAP(base)                                                                        \
    if (base::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, dwMsgMapID))               \
        return TRUE;
// Notifications that a control-host window reflects back to its control
// (OCM__BASE + the message) get the original message's default handling.
#define DEFAULT_REFLECTION_HANDLER()                                                               \
    if (uMsg >= OCM__BASE && uMsg < OCM__BASE + WM_USER) {                                         \
        lResult = ::DefWindowProcW(hWnd, uMsg - OCM__BASE, wParam, lParam);                        \
        return TRUE;                                                                               \
    }
#define END_MSG_MAP()                                                                              \
    return FALSE;                                                                                  \
    }

// The window half: owns m_hWnd between WM_NCCREATE and WM_NCDESTROY.
class CWindowImplRoot : public CMessageMap {
public:
    HWND m_hWnd = nullptr;

    operator HWND() const noexcept { return m_hWnd; }
    BOOL IsWindow() const noexcept { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL DestroyWindow() noexcept { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }
    BOOL GetClientRect(RECT* rc) const noexcept { return ::GetClientRect(m_hWnd, rc); }

    // Called after WM_NCDESTROY, when m_hWnd is already null.
    virtual void OnFinalMessage(HWND) {}
    // Destroys the window without routing its last messages to this object
    // (for owners that are being destroyed themselves).
    void DetachAndDestroy() noexcept;

protected:
    ~CWindowImplRoot() = default;
    // Registers (once) a class named after key, and creates the window.
    HWND CreateWindowOf(const void* key, HWND parent, const RECT& rc, const wchar_t* name,
                        DWORD style, DWORD exStyle, UINT id) noexcept;
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept;
};

template <class T>
class CWindowImpl : public CWindowImplRoot {
public:
    HWND Create(HWND parent, const RECT& rc, const wchar_t* name = nullptr,
                DWORD style = WS_CHILD | WS_VISIBLE, DWORD exStyle = 0, UINT id = 0) noexcept {
        static const char key = 0;
        return CreateWindowOf(&key, parent, rc, name, style, exStyle, id);
    }

protected:
    ~CWindowImpl() = default;
};

} // namespace ATL
