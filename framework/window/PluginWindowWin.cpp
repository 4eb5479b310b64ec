#include "PluginWindowWin.h"

#include "PluginEvents.h"
#include "VirtualKeys.h"

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>

namespace FW {

namespace {

// Handle → plug-in window, for the shared window procedure. Windows of different
// threads may be subclassed, hence the lock. The window's own memory is not
// used: the previous procedure of an ActiveX control's window reads its
// GWLP_USERDATA, and window properties cost a server round trip under Wine.
std::mutex g_windowMapLock;
std::map<HWND, PluginWindowWin*> g_windowMap;

// The last windows found, readable without the lock. They are written only
// under the lock, while g_knownSequence is odd, and forgotten with every change
// of the map; a reader trusts what it read when the sequence did not move.
struct KnownWindow {
    std::atomic<HWND> hWnd{nullptr};
    std::atomic<PluginWindowWin*> window{nullptr};
};
constexpr int kKnownWindows = 4;
KnownWindow g_knownWindows[kKnownWindows];
std::atomic<unsigned> g_knownSequence{0};
int g_nextKnown = 0; // guarded by g_windowMapLock

template <class Write>
void writeKnownLocked(Write write) {
    g_knownSequence.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    write();
    g_knownSequence.fetch_add(1, std::memory_order_release);
}

void forgetKnownLocked() {
    writeKnownLocked([] {
        for (auto& known : g_knownWindows) {
            known.hWnd.store(nullptr, std::memory_order_relaxed);
            known.window.store(nullptr, std::memory_order_relaxed);
        }
    });
}

PluginWindowWin* findKnown(HWND hWnd) {
    const unsigned before = g_knownSequence.load(std::memory_order_acquire);
    if (before & 1)
        return nullptr;
    for (const auto& known : g_knownWindows) {
        if (known.hWnd.load(std::memory_order_relaxed) != hWnd)
            continue;
        PluginWindowWin* window = known.window.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        return g_knownSequence.load(std::memory_order_relaxed) == before ? window : nullptr;
    }
    return nullptr;
}

PluginWindowWin* findWindow(HWND hWnd) {
    if (PluginWindowWin* window = findKnown(hWnd))
        return window;
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    auto it = g_windowMap.find(hWnd);
    if (it == g_windowMap.end())
        return nullptr;
    writeKnownLocked([&] {
        KnownWindow& known = g_knownWindows[g_nextKnown];
        known.hWnd.store(hWnd, std::memory_order_relaxed);
        known.window.store(it->second, std::memory_order_relaxed);
    });
    g_nextKnown = (g_nextKnown + 1) % kKnownWindows;
    return it->second;
}

int pointX(LPARAM lParam) {
    return static_cast<short>(LOWORD(lParam));
}
int pointY(LPARAM lParam) {
    return static_cast<short>(HIWORD(lParam));
}

template <class Event>
bool sendButton(PluginEventSource& source, MouseButtonEvent::MouseButton button, LPARAM lParam,
                unsigned int modifiers) {
    Event evt(button, pointX(lParam), pointY(lParam), modifiers);
    return source.SendEvent(&evt);
}

} // namespace

PluginWindowWin::PluginWindowWin(HWND hWnd) : m_hWnd(hWnd) {
    if (!IsWindow(hWnd))
        throw std::invalid_argument("A plug-in window needs a live native window");
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    const auto previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PluginWindowWin::SharedWindowProc)));
    auto existing = g_windowMap.find(hWnd);
    if (existing != g_windowMap.end()) {
        // Another plug-in window has this handle: take over its record of the
        // original procedure. Whatever was installed over it since would lead back
        // here, and "previous" must never lead back to the shared procedure.
        m_oldWinProc = existing->second->m_oldWinProc;
    } else if (previous != &PluginWindowWin::SharedWindowProc) {
        m_oldWinProc = previous;
    }
    // Otherwise the shared procedure is a leftover without an owner; unhandled
    // messages then get the default procedure, as they did before.
    g_windowMap[hWnd] = this;
    forgetKnownLocked();
}

PluginWindowWin::~PluginWindowWin() {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    auto entry = g_windowMap.find(m_hWnd);
    if (entry == g_windowMap.end() || entry->second != this)
        return; // a newer plug-in window took this handle over and keeps it subclassed
    g_windowMap.erase(entry);
    forgetKnownLocked();
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC));
    if (current == &PluginWindowWin::SharedWindowProc && m_oldWinProc)
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldWinProc));
}

LRESULT CALLBACK PluginWindowWin::SharedWindowProc(HWND hWnd, UINT msg, WPARAM wParam,
                                                   LPARAM lParam) {
    PluginWindowWin* window = findWindow(hWnd);
    if (!window)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    // Read before dispatch: an observer may destroy the plug-in window meanwhile.
    const WNDPROC next = window->m_callOldWinProc ? window->m_oldWinProc : nullptr;
    LRESULT lRes = 0;
    bool handled = false;
    try {
        handled = window->WinProc(hWnd, msg, wParam, lParam, lRes);
    } catch (...) {
        // A failing observer must not take the browser down; the message then gets
        // the treatment it would get without the plug-in window.
        handled = false;
    }
    if (handled)
        return lRes;
    if (next)
        return CallWindowProcW(next, hWnd, msg, wParam, lParam);
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

bool PluginWindowWin::CustomWinProc(HWND, UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

bool PluginWindowWin::WinProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    lRes = 0;
    if (CustomWinProc(hWnd, msg, wParam, lParam, lRes))
        return true;
    {
        WindowsEvent raw(hWnd, msg, wParam, lParam, lRes);
        if (SendEvent(&raw))
            return true;
    }

    switch (msg) {
    case WM_MOUSEMOVE: {
        MouseMoveEvent evt(pointX(lParam), pointY(lParam));
        return SendEvent(&evt);
    }
    case WM_LBUTTONDOWN:
        return sendButton<MouseDownEvent>(*this, MouseButtonEvent::MouseButton_Left, lParam,
                                          keyboardModifiers());
    case WM_LBUTTONUP:
        return sendButton<MouseUpEvent>(*this, MouseButtonEvent::MouseButton_Left, lParam,
                                        keyboardModifiers());
    case WM_LBUTTONDBLCLK:
        return sendButton<MouseDoubleClickEvent>(*this, MouseButtonEvent::MouseButton_Left, lParam,
                                                 keyboardModifiers());
    case WM_RBUTTONDOWN:
        return sendButton<MouseDownEvent>(*this, MouseButtonEvent::MouseButton_Right, lParam,
                                          keyboardModifiers());
    case WM_RBUTTONUP:
        return sendButton<MouseUpEvent>(*this, MouseButtonEvent::MouseButton_Right, lParam,
                                        keyboardModifiers());
    case WM_MBUTTONDOWN:
        return sendButton<MouseDownEvent>(*this, MouseButtonEvent::MouseButton_Middle, lParam,
                                          keyboardModifiers());
    case WM_MBUTTONUP:
        return sendButton<MouseUpEvent>(*this, MouseButtonEvent::MouseButton_Middle, lParam,
                                        keyboardModifiers());
    case WM_MOUSEWHEEL: {
        POINT pt{pointX(lParam), pointY(lParam)};
        ScreenToClient(hWnd, &pt);
        MouseScrollEvent evt(pt.x, pt.y, 0, static_cast<short>(HIWORD(wParam)),
                             keyboardModifiers());
        return SendEvent(&evt);
    }
    case WM_KEYDOWN: {
        KeyDownEvent evt(translateVirtualKey(static_cast<unsigned>(wParam)),
                         static_cast<unsigned>(wParam), 0);
        return SendEvent(&evt);
    }
    case WM_KEYUP: {
        KeyUpEvent evt(translateVirtualKey(static_cast<unsigned>(wParam)),
                       static_cast<unsigned>(wParam), 0);
        return SendEvent(&evt);
    }
    case WM_TIMER: {
        TimerEvent evt(static_cast<unsigned>(wParam), reinterpret_cast<void*>(lParam));
        return SendEvent(&evt);
    }
    case WM_SIZE: {
        ResizedEvent evt;
        return SendEvent(&evt);
    }
    case WM_PAINT: {
        RefreshEvent evt(Rect{0, 0, getWindowHeight(), getWindowWidth()});
        if (SendEvent(&evt))
            return false; // the next procedure validates the area
        PAINTSTRUCT ps;
        if (BeginPaint(hWnd, &ps))
            EndPaint(hWnd, &ps);
        return true;
    }
    case WM_ERASEBKGND:
        return m_suppressEraseBackground;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return false;
    case WM_MOUSEACTIVATE:
        SetFocus(hWnd);
        lRes = MA_ACTIVATE;
        return true;
    case WM_GETDLGCODE:
        lRes = DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        return true;
    default:
        return false;
    }
}

void PluginWindowWin::InvalidateWindow() const {
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

Rect PluginWindowWin::getWindowPosition() const {
    RECT rect{0, 0, 0, 0};
    GetWindowRect(m_hWnd, &rect);
    return Rect{rect.top, rect.left, rect.bottom, rect.right};
}

int PluginWindowWin::getWindowWidth() const {
    const Rect pos = getWindowPosition();
    return pos.right - pos.left;
}

int PluginWindowWin::getWindowHeight() const {
    const Rect pos = getWindowPosition();
    return pos.bottom - pos.top;
}

Rect PluginWindowWin::getWindowClipping() const {
    return getWindowPosition();
}

} // namespace FW
