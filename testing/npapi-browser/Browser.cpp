#include "Browser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DcPicture.h"
#include "Navigator.h"
#include "PageParser.h"
#include "Streams.h"
#include "Text.h"
#include "files.h"
#include "Png.h"
#include "camera_sim_client.h"

namespace npbrowser {

namespace {

Browser* s_browser = nullptr;

NpRuntime& rt() {
    return NpRuntime::instance();
}

const wchar_t kTopClass[] = L"OrvelaNpapiBrowser";

LRESULT CALLBACK topProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (s_browser != nullptr)
        return s_browser->handleTopMessage(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

Browser::Browser(Options options) : m_options(std::move(options)) {
    s_browser = this;
}

Browser* Browser::current() {
    return s_browser;
}

Browser::~Browser() {
    s_browser = nullptr;
}

bool Browser::createTopWindow() {
    WNDCLASSW top{};
    top.lpfnWndProc = topProc;
    top.hInstance = GetModuleHandleW(nullptr);
    top.hCursor = LoadCursor(nullptr, IDC_ARROW);
    top.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    top.lpszClassName = kTopClass;
    RegisterClassW(&top);
    WNDCLASSW plugin{};
    plugin.lpfnWndProc = DefWindowProcW;
    plugin.hInstance = GetModuleHandleW(nullptr);
    plugin.hCursor = LoadCursor(nullptr, IDC_ARROW);
    plugin.lpszClassName = kPluginClass;
    RegisterClassW(&plugin);
    RECT frame{0, 0, m_options.width, m_options.height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    m_top = CreateWindowExW(0, kTopClass, L"orvela NPAPI test browser",
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    if (m_top == nullptr)
        return false;
    ShowWindow(m_top, SW_SHOW);
    UpdateWindow(m_top);
    rt().setCallWindow(m_top);
    Streams::instance().setWindow(m_top);
    return true;
}

PluginLibrary* Browser::libraryFor(const std::string& mimeType) {
    if (m_libraries.empty()) {
        if (!m_options.plugin.empty()) {
            m_libraries.push_back(std::make_unique<PluginLibrary>(m_options.plugin));
        } else {
            for (const std::wstring& path : PluginLibrary::registeredPaths())
                m_libraries.push_back(std::make_unique<PluginLibrary>(path));
        }
    }
    for (auto& library : m_libraries) {
        // A library named on the command line takes what its resource lists,
        // or anything when it lists nothing.
        const bool matches = library->handles(mimeType) ||
                             (!m_options.plugin.empty() && library->mimeTypes().empty());
        if (matches && library->start(rt().table()))
            return library.get();
    }
    return nullptr;
}

PluginElement* Browser::elementOf(void* proxy) {
    auto found = m_elements.find(proxy);
    return found != m_elements.end() ? found->second.get() : nullptr;
}

void Browser::connectElement(duk_context* ctx) {
    // [proxy type width height names values]
    void* proxy = duk_get_heapptr(ctx, 0);
    const std::string type = duk_safe_to_string(ctx, 1);
    const int width = duk_to_int32(ctx, 2) > 0 ? duk_get_int(ctx, 2) : 300;
    const int height = duk_to_int32(ctx, 3) > 0 ? duk_get_int(ctx, 3) : 150;
    std::vector<std::string> names, values;
    std::vector<bool> present;
    const duk_size_t count = duk_get_length(ctx, 4);
    for (duk_size_t i = 0; i < count; ++i) {
        duk_get_prop_index(ctx, 4, static_cast<duk_uarridx_t>(i));
        names.push_back(duk_safe_to_string(ctx, -1));
        duk_get_prop_index(ctx, 5, static_cast<duk_uarridx_t>(i));
        present.push_back(!duk_is_null_or_undefined(ctx, -1));
        values.push_back(present.back() ? duk_safe_to_string(ctx, -1) : "");
        duk_pop_2(ctx);
    }
    PluginLibrary* library = libraryFor(type);
    if (library == nullptr) {
        std::fprintf(stderr, "no plug-in for type \"%s\"\n", type.c_str());
        return;
    }
    // Elements flow left to right, then onto the next row.
    if (m_cursorX > 8 && m_cursorX + width > m_options.width) {
        m_cursorX = 8;
        m_cursorY += m_rowHeight + 8;
        m_rowHeight = 0;
    }
    auto element = std::make_unique<PluginElement>(*this, proxy, *library);
    element->prepare(type, RECT{m_cursorX, m_cursorY, m_cursorX + width, m_cursorY + height},
                     std::move(names), std::move(values), std::move(present));
    if (auto old = m_elements.find(proxy); old != m_elements.end())
        retire(std::move(old->second));
    m_elements[proxy] = std::move(element);
    m_cursorX += width + 8;
    m_rowHeight = std::max(m_rowHeight, height);
    if (!m_options.asyncInstances) {
        instantiate(proxy);
        return;
    }
    m_pending.push_back(proxy);
    if (m_pending.size() == 1)
        PostMessageW(m_top, kInstantiateMessage, 0, 0);
}

void Browser::instantiate(void* proxy) {
    auto found = m_elements.find(proxy);
    if (found == m_elements.end() || !found->second->pending())
        return;
    PluginElement* element = found->second.get();
    if (element->create())
        return;
    // NPP_New may have run script that replaced the element: look again.
    found = m_elements.find(proxy);
    if (found != m_elements.end() && found->second.get() == element) {
        retire(std::move(found->second));
        m_elements.erase(found);
    }
}

void Browser::instantiatePending() {
    std::deque<void*> due;
    due.swap(m_pending);
    for (void* proxy : due)
        instantiate(proxy);
}

void Browser::runPageLoad() {
    if (!m_pageOnload.empty() && !m_closed)
        m_engine->runScript(m_pageOnload, "body onload");
    if (!m_closed)
        m_engine->callGlobal("onload");
}

void Browser::disconnectElement(duk_context* ctx) {
    auto found = m_elements.find(duk_get_heapptr(ctx, 0));
    if (found == m_elements.end())
        return;
    std::unique_ptr<PluginElement> element = std::move(found->second);
    m_elements.erase(found);
    element->destroy();
    retire(std::move(element));
}

void Browser::retire(std::unique_ptr<PluginElement> element) {
    constexpr size_t kRetiredKept = 64;
    m_gone.push_back(std::move(element));
    if (m_gone.size() > kRetiredKept)
        m_gone.pop_front();
}

void Browser::resizeElement(duk_context* ctx) {
    if (PluginElement* element = elementOf(duk_get_heapptr(ctx, 0)))
        element->resize(duk_to_int32(ctx, 1), duk_to_int32(ctx, 2));
}

NPObject* Browser::scriptableOf(void* elementProxy) {
    // Script that reaches for the plug-in's members makes a pending instance now.
    instantiate(elementProxy);
    PluginElement* element = elementOf(elementProxy);
    return element != nullptr ? element->scriptable() : nullptr;
}

LRESULT Browser::handleTopMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case NpRuntime::kAsyncCallMessage:
        rt().runAsyncCalls();
        return 0;
    case Streams::kStreamMessage:
        Streams::instance().onMessage(lParam, true);
        return 0;
    case kInstantiateMessage:
        instantiatePending();
        return 0;
    case kPageLoadMessage:
        runPageLoad();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        for (auto& entry : m_elements) {
            PluginElement& element = *entry.second;
            if (!element.windowless())
                continue;
            RECT bounds = element.rect();
            element.handleEvent(WM_PAINT, reinterpret_cast<WPARAM>(dc),
                                reinterpret_cast<LPARAM>(&bounds));
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: {
        POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        for (auto& entry : m_elements) {
            PluginElement& element = *entry.second;
            if (element.windowless() && PtInRect(&element.rect(), point))
                return element.handleEvent(message, wParam, lParam) != 0 ? 0 : 0;
        }
        break;
    }
    case WM_CLOSE:
        m_closed = true;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Browser::loadPage() {
    std::string html;
    if (!readWholeFile(m_options.page, html)) {
        std::fprintf(stderr, "cannot read %s\n", narrow(m_options.page).c_str());
        m_engine->reportUncaught("page not found");
        m_closed = true;
        return;
    }
    std::wstring folder = m_options.page;
    const size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? L"" : folder.substr(0, slash + 1);
    const ParsedPage page = parsePage(html);
    duk_context* ctx = m_engine->ctx();
    for (const PageItem& item : page.items) {
        if (m_closed)
            return;
        if (item.kind == PageItem::Kind::Script) {
            if (item.src.empty()) {
                m_engine->runScript(item.code, narrow(m_options.page));
            } else {
                std::string code;
                if (readWholeFile(folder + widen(item.src), code))
                    m_engine->runScript(code, item.src);
                else
                    m_engine->reportUncaught(("cannot read script " + item.src).c_str());
            }
            continue;
        }
        duk_get_global_string(ctx, "__page_add");
        duk_push_string(ctx, item.tag.c_str());
        duk_push_object(ctx);
        for (const auto& attribute : item.attributes) {
            duk_push_lstring(ctx, attribute.second.data(), attribute.second.size());
            duk_put_prop_string(ctx, -2, attribute.first.c_str());
        }
        duk_push_array(ctx);
        duk_uarridx_t index = 0;
        for (const auto& param : item.params) {
            duk_push_array(ctx);
            duk_push_string(ctx, param.first.c_str());
            duk_put_prop_index(ctx, -2, 0);
            duk_push_string(ctx, param.second.c_str());
            duk_put_prop_index(ctx, -2, 1);
            duk_put_prop_index(ctx, -2, index++);
        }
        if (duk_pcall(ctx, 3) != DUK_EXEC_SUCCESS)
            m_engine->reportUncaught(duk_safe_to_string(ctx, -1));
        duk_pop(ctx);
    }
    m_pageOnload = page.bodyOnload;
    // The load event comes after the instances that the page's elements asked for.
    if (m_options.asyncInstances)
        PostMessageW(m_top, kPageLoadMessage, 0, 0);
    else
        runPageLoad();
}

void Browser::loop() {
    const DWORD start = GetTickCount();
    const DWORD timeout = m_options.timeoutSeconds * 1000;
    bool shot = m_options.screenshot.empty();
    while (!m_closed) {
        MSG msg;
        while (!m_closed && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (m_closed)
            break;
        m_engine->runDueTimers();
        const DWORD elapsed = GetTickCount() - start;
        if (!shot && elapsed >= m_options.screenshotDelay) {
            takeScreenshot();
            shot = true;
        }
        if (elapsed >= timeout) {
            m_timedOut = true;
            break;
        }
        DWORD wait = std::min(m_engine->nextTimerDelay(), timeout - elapsed);
        if (!shot)
            wait = std::min(wait, m_options.screenshotDelay - elapsed);
        if (!m_closed)
            MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (!shot)
        takeScreenshot();
    if (m_timedOut)
        return;
    // The page is done; its windows stay painting for a person to watch.
    const DWORD lingerEnd = GetTickCount() + m_options.lingerSeconds * 1000;
    for (DWORD now = GetTickCount(); static_cast<LONG>(lingerEnd - now) > 0; now = GetTickCount()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, lingerEnd - now, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void Browser::takeScreenshot() {
    RECT client{};
    GetClientRect(m_top, &client);
    POINT origin{0, 0};
    ClientToScreen(m_top, &origin);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0)
        return;
    // Let every window paint what it has before the copy.
    RedrawWindow(m_top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC screen = GetDC(nullptr);
    const std::vector<uint8_t> rgb = testpng::captureRgb(screen, origin.x, origin.y, width, height);
    ReleaseDC(nullptr, screen);
    if (rgb.empty())
        return;
    if (!testpng::writePng(m_options.screenshot, static_cast<uint32_t>(width),
                           static_cast<uint32_t>(height), rgb))
        std::fprintf(stderr, "cannot write %s\n", narrow(m_options.screenshot).c_str());
}

void Browser::tearDown() {
    // The page goes: its instances first, then script with everything it
    // held, then the libraries; whatever the plug-in still holds then leaked.
    for (auto& entry : m_elements)
        entry.second->destroy();
    m_engine.reset();
    rt().dropAsyncCalls();
    MSG msg;
    while (PeekMessageW(&msg, m_top, Streams::kStreamMessage, Streams::kStreamMessage, PM_REMOVE))
        Streams::instance().onMessage(msg.lParam, false);
    for (auto& library : m_libraries)
        library->shutdown();
    rt().reportLeaks();
}

int Browser::run() {
    rt().initTable(m_options.tableVersion, m_options.userAgent);
    if (!createTopWindow()) {
        std::fprintf(stderr, "cannot create the browser window (error %lu)\n", GetLastError());
        return 2;
    }
    std::unique_ptr<CameraSim::JournalFile> journal;
    if (m_options.journal)
        journal = std::make_unique<CameraSim::JournalFile>();
    const std::string url =
        m_options.pageUrl.empty() ? "file:///" + narrow(m_options.page) : m_options.pageUrl;
    m_engine = std::make_unique<ScriptEngine>(*this, url);
    m_engine->runScript(navigatorScript(m_options), "navigator");
    loadPage();
    loop();
    const bool uncaught = m_engine->hadUncaughtError();
    tearDown();
    std::fflush(stdout);
    for (const std::string& fault : rt().faults())
        std::fprintf(stderr, "fault: %s\n", fault.c_str());
    if (!rt().faults().empty())
        return 4;
    if (uncaught)
        return 1;
    if (m_timedOut) {
        std::fprintf(stderr, "timeout: the page did not close its window\n");
        return 3;
    }
    return 0;
}

} // namespace npbrowser
