#include "window_test_support.h"

#include <map>
#include <stdexcept>

namespace windowtest {

namespace {

std::map<HWND, std::vector<UINT>> g_previousProcMessages;

LRESULT CALLBACK childProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_previousProcMessages[hwnd].push_back(msg);
    if (msg == WM_USER + 1)
        return 777;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void registerClasses() {
    static bool done = false;
    if (done)
        return;
    WNDCLASSW top{};
    top.lpfnWndProc = DefWindowProcW;
    top.hInstance = GetModuleHandleW(nullptr);
    top.lpszClassName = L"OrvelaTestTop";
    top.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    WNDCLASSW child = top;
    child.lpfnWndProc = childProc;
    child.lpszClassName = L"OrvelaTestChild";
    child.style = CS_DBLCLKS;
    if (!RegisterClassW(&top) || !RegisterClassW(&child))
        throw std::runtime_error("RegisterClass failed");
    done = true;
}

} // namespace

bool Recorder::HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource*) {
    using namespace FW;
    Seen s;
    if (auto* e = dynamic_cast<WindowsEvent*>(evt)) {
        s.kind = "windows";
        s.hWnd = e->hWnd;
        s.msg = e->uMsg;
    } else if (auto* e = dynamic_cast<MouseButtonEvent*>(evt)) {
        s.kind = dynamic_cast<MouseDownEvent*>(evt) ? "down"
                 : dynamic_cast<MouseUpEvent*>(evt) ? "up"
                                                    : "dblclick";
        s.x = e->x;
        s.y = e->y;
        s.button = e->button;
        s.modifiers = e->modifiers;
    } else if (auto* e = dynamic_cast<MouseScrollEvent*>(evt)) {
        s.kind = "scroll";
        s.x = e->x;
        s.y = e->y;
        s.deltaX = e->deltaX;
        s.deltaY = e->deltaY;
        s.modifiers = e->modifiers;
    } else if (auto* e = dynamic_cast<MouseMoveEvent*>(evt)) {
        s.kind = "move";
        s.x = e->x;
        s.y = e->y;
    } else if (auto* e = dynamic_cast<KeyEvent*>(evt)) {
        s.kind = dynamic_cast<KeyDownEvent*>(evt) ? "keydown" : "keyup";
        s.key = e->key;
        s.osKey = e->osKeyCode;
        s.modifiers = e->modifiers;
    } else if (auto* e = dynamic_cast<TimerEvent*>(evt)) {
        s.kind = "timer";
        s.timerId = e->timerId;
        s.timerParam = e->timerParam;
    } else if (auto* e = dynamic_cast<RefreshEvent*>(evt)) {
        s.kind = "refresh";
        s.bounds = e->bounds;
    } else if (dynamic_cast<ResizedEvent*>(evt)) {
        s.kind = "resized";
    } else if (dynamic_cast<AttachedEvent*>(evt)) {
        s.kind = "attached";
    } else if (dynamic_cast<DetachedEvent*>(evt)) {
        s.kind = "detached";
    } else {
        s.kind = "other";
    }
    seen.push_back(s);
    return answer ? answer(evt) : false;
}

std::vector<Seen> Recorder::of(const std::string& kind) const {
    std::vector<Seen> out;
    for (const Seen& s : seen)
        if (s.kind == kind)
            out.push_back(s);
    return out;
}

HWND topLevelWindow() {
    static HWND top = nullptr;
    if (!top) {
        registerClasses();
        top = CreateWindowExW(0, L"OrvelaTestTop", L"orvela window tests",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
        if (!top)
            throw std::runtime_error("CreateWindowEx (top-level) failed: " +
                                     std::to_string(GetLastError()));
        pumpMessages();
    }
    return top;
}

ChildWindow::ChildWindow() {
    m_hwnd = CreateWindowExW(0, L"OrvelaTestChild", L"", WS_CHILD | WS_VISIBLE, 5, 5, 200, 100,
                             topLevelWindow(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hwnd)
        throw std::runtime_error("CreateWindowEx (child) failed");
    pumpMessages();
    forgetMessages();
}

ChildWindow::~ChildWindow() {
    if (IsWindow(m_hwnd))
        DestroyWindow(m_hwnd);
    g_previousProcMessages.erase(m_hwnd);
}

WNDPROC ChildWindow::originalProc() {
    return childProc;
}

bool ChildWindow::previousProcSaw(UINT msg) const {
    auto it = g_previousProcMessages.find(m_hwnd);
    if (it == g_previousProcMessages.end())
        return false;
    for (UINT m : it->second)
        if (m == msg)
            return true;
    return false;
}

void ChildWindow::forgetMessages() {
    g_previousProcMessages[m_hwnd].clear();
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void setKeyHeld(int virtualKey, bool held) {
    BYTE state[256];
    GetKeyboardState(state);
    state[virtualKey] = held ? 0x80 : 0;
    SetKeyboardState(state);
}

} // namespace windowtest
