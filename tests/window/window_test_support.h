#pragma once
// Shared pieces of the plug-in window tests: a recording observer, one real
// top-level window for the whole binary (destroying one costs seconds under
// Xvfb), child windows with a recording window procedure, and a message pump.

#include "PluginEventSink.h"
#include "PluginEvents.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace windowtest {

struct Seen {
    std::string kind;
    int x = 0;
    int y = 0;
    int button = -1;
    unsigned modifiers = 0;
    unsigned key = 0;
    unsigned osKey = 0;
    int deltaX = 0;
    int deltaY = 0;
    unsigned timerId = 0;
    void* timerParam = nullptr;
    FW::Rect bounds{0, 0, 0, 0};
    FW::NativeWindowHandle hWnd = nullptr;
    unsigned msg = 0;
};

// Records every event; `answer` decides what HandleEvent returns (default false).
class Recorder : public FW::PluginEventSink {
public:
    bool HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) override;

    // Events of one kind, in arrival order.
    std::vector<Seen> of(const std::string& kind) const;

    std::vector<Seen> seen;
    std::function<bool(FW::PluginEvent*)> answer;
};

// The one top-level window of the test process.
HWND topLevelWindow();

// A visible 200x100 child of the top-level window at (5, 5). Its own procedure
// records the messages it gets (in previousProcMessages) and hands them to
// DefWindowProc, answering 777 for WM_USER + 1.
class ChildWindow {
public:
    ChildWindow();
    ~ChildWindow();
    ChildWindow(const ChildWindow&) = delete;
    ChildWindow& operator=(const ChildWindow&) = delete;

    HWND hwnd() const { return m_hwnd; }
    static WNDPROC originalProc();
    bool previousProcSaw(UINT msg) const;
    void forgetMessages();

private:
    HWND m_hwnd;
};

// Runs the calling thread's message loop until the queue is empty.
void pumpMessages();

// Sets or clears the thread's view of a key (GetKeyState reads it).
void setKeyHeld(int virtualKey, bool held);

} // namespace windowtest
