#include "AsyncCallWindow.h"

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>

namespace FW {
namespace Npapi {

namespace {

struct PostedCall {
    void (*function)(void*);
    void* data;
};

// Window handle -> its object, for the shared window procedure.
std::mutex& windowsLock() {
    static std::mutex lock;
    return lock;
}
std::map<HWND, AsyncCallWindow*>& windows() {
    static std::map<HWND, AsyncCallWindow*> map;
    return map;
}

std::atomic<unsigned> s_sequence{0};

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&s_sequence), &module);
    return module;
}

void runAndFree(LPARAM record) {
    auto* call = reinterpret_cast<PostedCall*>(record);
    if (call->function != nullptr)
        call->function(call->data);
    delete call;
}

} // namespace

AsyncCallWindow::AsyncCallWindow() {
    const std::wstring number = std::to_wstring(++s_sequence);
    m_className = L"FWEventWindow" + number;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = thisModule();
    windowClass.lpszClassName = m_className.c_str();
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Could not register window class");
    const std::wstring title = L"FrameworkEventWindow" + number;
    m_hwnd = CreateWindowExW(0, m_className.c_str(), title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE,
                             nullptr, thisModule(), nullptr);
    if (m_hwnd == nullptr)
        throw std::runtime_error("Could not create Message Window");
    std::lock_guard<std::mutex> lock(windowsLock());
    windows()[m_hwnd] = this;
}

AsyncCallWindow::~AsyncCallWindow() {
    {
        std::lock_guard<std::mutex> lock(windowsLock());
        windows().erase(m_hwnd);
    }
    if (GetWindowThreadProcessId(m_hwnd, nullptr) == GetCurrentThreadId()) {
        // Calls still queued are delivered now: the host has cancelled what
        // they carried, so each only frees its record.
        MSG msg;
        while (PeekMessageW(&msg, m_hwnd, kCallMessage, kCallMessage, PM_REMOVE))
            runAndFree(msg.lParam);
        DestroyWindow(m_hwnd);
    } else {
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
    }
    UnregisterClassW(m_className.c_str(), thisModule());
}

bool AsyncCallWindow::post(void (*function)(void*), void* data) {
    auto* call = new PostedCall{function, data};
    if (PostMessageW(m_hwnd, kCallMessage, 0, reinterpret_cast<LPARAM>(call)))
        return true;
    delete call;
    return false;
}

bool AsyncCallWindow::handle(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != kCallMessage)
        return false;
    runAndFree(lParam);
    result = 0;
    return true;
}

LRESULT CALLBACK AsyncCallWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    AsyncCallWindow* window = nullptr;
    {
        std::lock_guard<std::mutex> lock(windowsLock());
        auto found = windows().find(hwnd);
        if (found != windows().end())
            window = found->second;
    }
    LRESULT result = 0;
    try {
        if (window != nullptr && window->handle(message, wParam, lParam, result))
            return result;
    } catch (...) {
        // A failing call must not unwind through the system's dispatcher.
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace Npapi
} // namespace FW
