#pragma once
// A message-only window that runs posted calls on the thread that made it:
// how an instance reaches the browser's main thread when the browser's own
// thread-async call cannot be used.

#include <windows.h>

#include <string>

namespace FW {
namespace Npapi {

class AsyncCallWindow {
public:
    static constexpr UINT kCallMessage = WM_USER + 1;

    // Throws std::runtime_error when the class or the window cannot be made.
    AsyncCallWindow();
    ~AsyncCallWindow();
    AsyncCallWindow(const AsyncCallWindow&) = delete;
    AsyncCallWindow& operator=(const AsyncCallWindow&) = delete;

    // From any thread; false when the call could not be posted.
    bool post(void (*function)(void*), void* data);
    HWND hwnd() const { return m_hwnd; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND m_hwnd = nullptr;
    std::wstring m_className;
};

} // namespace Npapi
} // namespace FW
