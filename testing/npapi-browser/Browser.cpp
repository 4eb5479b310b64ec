#include "Browser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DcPicture.h"
#include "Navigator.h"
#include "PageParser.h"
#include "Streams.h"
#include "Text.h"
#include "Png.h"
#include "camera_sim_client.h"
#include "click.h"
#include "resources.h"

namespace npbrowser {

namespace {

Browser* s_browser = nullptr;

NpRuntime& rt() {
    return NpRuntime::instance();
}

const wchar_t kTopClass[] = L"OrvelaNpapiBrowser";
const wchar_t kPluginClass[] = L"OrvelaNpapiBrowserPlugin";

LRESULT CALLBACK topProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (s_browser != nullptr)
        return s_browser->handleTopMessage(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- testbed: what the test pages use to drive the camera simulator and to
// look at what the browser saw

duk_ret_t testbedRaiseEvent(duk_context* ctx) {
    const int taken =
        CameraSim::requestEvent(widen(duk_safe_to_string(ctx, 0)), duk_to_int32(ctx, 1),
                                duk_to_int32(ctx, 2), GetCurrentProcessId());
    duk_push_int(ctx, taken);
    return 1;
}

// raiseEvents(text, type, subtype, count): a burst, for benchmarks.
duk_ret_t testbedRaiseEvents(duk_context* ctx) {
    const int taken =
        CameraSim::requestEvents(widen(duk_safe_to_string(ctx, 0)), duk_to_int32(ctx, 1),
                                 duk_to_int32(ctx, 2), duk_to_int32(ctx, 3), GetCurrentProcessId());
    duk_push_int(ctx, taken);
    return 1;
}

// The simulator's clock of fired events, in microseconds.
duk_ret_t testbedNow(duk_context* ctx) {
    duk_push_number(ctx, CameraSim::nowMicroseconds());
    return 1;
}

// A variable of the environment the test started the browser in ("" when unset).
duk_ret_t testbedEnv(duk_context* ctx) {
    const char* value = std::getenv(duk_safe_to_string(ctx, 0));
    duk_push_string(ctx, value != nullptr ? value : "");
    return 1;
}

// "handles gdi user privateBytes" of this process, or of the named one. The
// script heap is collected first (twice, for what finalizers let go), so that
// the figure is what is alive, as a browser's memory report measures it.
duk_ret_t testbedResources(duk_context* ctx) {
    const char* name = duk_is_string(ctx, 0) ? duk_get_string(ctx, 0) : "";
    const std::wstring wide(name, name + std::strlen(name));
    if (wide.empty()) {
        duk_gc(ctx, 0);
        duk_gc(ctx, 0);
    }
    duk_push_string(ctx, processResources(wide).c_str());
    return 1;
}

duk_ret_t testbedFailNextCall(duk_context* ctx) {
    CameraSim::failNextCall(duk_to_int32(ctx, 0), static_cast<HRESULT>(duk_to_uint32(ctx, 1)));
    return 0;
}

// failCamera(fault, value): true when the fault's name is known.
duk_ret_t testbedFailCamera(duk_context* ctx) {
    const std::string fault = duk_to_string(ctx, 0);
    duk_push_boolean(ctx, CameraSim::failCamera(std::wstring(fault.begin(), fault.end()),
                                                duk_to_uint32(ctx, 1)));
    return 1;
}

// Journal records as {kind, instance, slot, name, args, hr, result}.
duk_ret_t testbedJournal(duk_context* ctx) {
    duk_push_array(ctx);
    duk_uarridx_t index = 0;
    for (const CameraSim::JournalRecord& record : CameraSim::currentJournal()) {
        const std::vector<std::string> fields = CameraSim::journalFields(record);
        duk_push_object(ctx);
        const char* names[] = {"kind", nullptr, "instance", "slot", "name", "args", "hr", "result"};
        for (int i = 0; i < 8; ++i) {
            if (names[i] == nullptr)
                continue;
            if (i == 2 || i == 3)
                duk_push_int(ctx, std::atoi(fields[i].c_str()));
            else
                duk_push_lstring(ctx, fields[i].data(), fields[i].size());
            duk_put_prop_string(ctx, -2, names[i]);
        }
        duk_put_prop_index(ctx, -2, index++);
    }
    return 1;
}

duk_ret_t testbedAsyncCalls(duk_context* ctx) {
    duk_push_uint(ctx, rt().asyncCalls());
    return 1;
}

duk_ret_t testbedInvalidations(duk_context* ctx) {
    duk_push_uint(ctx, rt().invalidations());
    return 1;
}

// Message-only windows of this process whose title starts with the text.
duk_ret_t testbedMessageWindows(duk_context* ctx) {
    const std::wstring prefix = widen(duk_safe_to_string(ctx, 0));
    int count = 0;
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        wchar_t title[256] = L"";
        GetWindowTextW(window, title, 256);
        if (pid == GetCurrentProcessId() && std::wcsncmp(title, prefix.c_str(), prefix.size()) == 0)
            ++count;
    }
    duk_push_int(ctx, count);
    return 1;
}

BOOL CALLBACK collectWindow(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

// The element's window and the windows inside it: [{className, width, height}].
duk_ret_t testbedWindows(duk_context* ctx) {
    PluginElement* element = s_browser->elementOf(duk_get_heapptr(ctx, 0));
    duk_push_array(ctx);
    if (element == nullptr || element->window() == nullptr)
        return 1;
    std::vector<HWND> windows{element->window()};
    EnumChildWindows(element->window(), collectWindow, reinterpret_cast<LPARAM>(&windows));
    duk_uarridx_t index = 0;
    for (HWND window : windows) {
        wchar_t name[128] = L"";
        GetClassNameW(window, name, 128);
        RECT rect{};
        GetWindowRect(window, &rect);
        duk_push_object(ctx);
        duk_push_string(ctx, narrow(name).c_str());
        duk_put_prop_string(ctx, -2, "className");
        duk_push_int(ctx, rect.right - rect.left);
        duk_put_prop_string(ctx, -2, "width");
        duk_push_int(ctx, rect.bottom - rect.top);
        duk_put_prop_string(ctx, -2, "height");
        duk_push_boolean(ctx, IsWindowVisible(window));
        duk_put_prop_string(ctx, -2, "visible");
        duk_put_prop_index(ctx, -2, index++);
    }
    return 1;
}

// The names and values NPP_New got for the element ([name, value or null]),
// or null while its instance is not made.
duk_ret_t testbedArguments(duk_context* ctx) {
    PluginElement* element = s_browser->elementOf(duk_get_heapptr(ctx, 0));
    if (element == nullptr || !element->created()) {
        duk_push_null(ctx);
        return 1;
    }
    duk_push_array(ctx);
    for (size_t i = 0; i < element->argumentNames().size(); ++i) {
        duk_push_array(ctx);
        duk_push_string(ctx, element->argumentNames()[i].c_str());
        duk_put_prop_index(ctx, -2, 0);
        if (element->argumentPresent()[i])
            duk_push_string(ctx, element->argumentValues()[i].c_str());
        else
            duk_push_null(ctx);
        duk_put_prop_index(ctx, -2, 1);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
}

// The element's NPP_SetWindow calls: [{window, width, height}], the window
// handle as a number.
duk_ret_t testbedSetWindows(duk_context* ctx) {
    PluginElement* element = s_browser->elementOf(duk_get_heapptr(ctx, 0));
    duk_push_array(ctx);
    if (element == nullptr)
        return 1;
    duk_uarridx_t index = 0;
    for (const PluginElement::WindowCall& call : element->windowCalls()) {
        duk_push_object(ctx);
        duk_push_number(ctx, static_cast<double>(reinterpret_cast<uintptr_t>(call.window)));
        duk_put_prop_string(ctx, -2, "window");
        duk_push_uint(ctx, call.width);
        duk_put_prop_string(ctx, -2, "width");
        duk_push_uint(ctx, call.height);
        duk_put_prop_string(ctx, -2, "height");
        duk_put_prop_index(ctx, -2, index++);
    }
    return 1;
}

// Whether the browser has asked the element's plug-in for its scriptable object.
duk_ret_t testbedScriptableAsked(duk_context* ctx) {
    PluginElement* element = s_browser->elementOf(duk_get_heapptr(ctx, 0));
    duk_push_boolean(ctx, element != nullptr && element->askedScriptable());
    return 1;
}

// What the browser does with the arguments of a plug-in call, without the
// plug-in: the benchmarks' baseline.
duk_ret_t testbedConvertArguments(duk_context* ctx) {
    const duk_idx_t count = duk_get_top(ctx);
    int32_t sum = 0;
    for (duk_idx_t i = 0; i < count; ++i) {
        NPVariant value;
        ScriptEngine::current()->toVariant(i, &value, true);
        if (value.type == NPVariantType_Int32)
            sum += value.value.intValue;
        rt().releaseBrowserValue(value);
    }
    duk_push_int(ctx, sum);
    return 1;
}

// A user's click at client point (x, y) of the browser window.
duk_ret_t testbedClick(duk_context* ctx) {
    clickAt(s_browser->topWindow(), POINT{duk_to_int32(ctx, 0), duk_to_int32(ctx, 1)});
    return 0;
}

// The colour of a client pixel of the browser window as 0xRRGGBB.
duk_ret_t testbedPixel(duk_context* ctx) {
    HDC dc = GetDC(s_browser->topWindow());
    const COLORREF colour = GetPixel(dc, duk_to_int32(ctx, 0), duk_to_int32(ctx, 1));
    ReleaseDC(s_browser->topWindow(), dc);
    duk_push_uint(ctx, (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
    return 1;
}

} // namespace

// ---- plug-in elements

PluginElement::PluginElement(Browser& browser, void* proxy, PluginLibrary& library)
    : m_browser(browser), m_proxy(proxy), m_library(library) {}

PluginElement::~PluginElement() = default;

NPObject* PluginElement::windowObject() {
    return m_browser.engine().windowObject();
}

NPObject* PluginElement::elementObject() {
    duk_context* ctx = m_browser.engine().ctx();
    duk_push_heapptr(ctx, m_proxy);
    NPObject* object = m_browser.engine().pageObject(-1);
    duk_pop(ctx);
    return object;
}

HWND PluginElement::topWindow() {
    return m_browser.topWindow();
}

bool PluginElement::evaluate(NPString* script, NPVariant* result) {
    return m_browser.engine().evaluate(*script, result);
}

void PluginElement::invalidate(const NPRect* rect) {
    rt().countInvalidation();
    RECT area = m_rect;
    if (rect != nullptr && m_windowless) {
        area = RECT{m_rect.left + rect->left, m_rect.top + rect->top, m_rect.left + rect->right,
                    m_rect.top + rect->bottom};
    }
    if (m_windowless)
        InvalidateRect(m_browser.topWindow(), &area, FALSE);
    else if (m_hwnd != nullptr)
        InvalidateRect(m_hwnd, nullptr, FALSE);
}

NPError PluginElement::getURL(const char* url, const char* target) {
    if (target == nullptr)
        return Streams::instance().request(&m_npp, url, nullptr, false, nullptr);
    std::printf("navigate: %s %s\n", url, target);
    std::fflush(stdout);
    return NPERR_NO_ERROR;
}

void PluginElement::prepare(const std::string& mimeType, const RECT& rect,
                            std::vector<std::string> names, std::vector<std::string> values,
                            std::vector<bool> present) {
    m_mimeType = mimeType;
    m_rect = rect;
    m_names = std::move(names);
    m_values = std::move(values);
    m_present = std::move(present);
    m_pending = true;
}

bool PluginElement::create() {
    // Script that the plug-in runs from NPP_New finds the instance on its way.
    m_pending = false;
    m_created = true;
    duk_context* ctx = m_browser.engine().ctx();
    duk_push_heapptr(ctx, m_proxy);
    m_proxyKey = m_browser.engine().stash(-1);
    duk_pop(ctx);
    // The plug-in gets its own copies: what it does to them does not change
    // what the test pages read back.
    std::vector<std::string> names = m_names, values = m_values;
    std::vector<char*> argn, argv;
    for (size_t i = 0; i < names.size(); ++i) {
        argn.push_back(&names[i][0]);
        argv.push_back(m_present[i] ? &values[i][0] : nullptr);
    }
    rt().registerInstance(&m_npp, this);
    std::vector<char> type(m_mimeType.begin(), m_mimeType.end());
    type.push_back('\0');
    const NPError error = m_library.funcs().newp(
        type.data(), &m_npp, NP_EMBED, static_cast<int16_t>(argn.size()),
        argn.empty() ? nullptr : argn.data(), argv.empty() ? nullptr : argv.data(), nullptr);
    if (error != NPERR_NO_ERROR) {
        std::fprintf(stderr, "NPP_New for %s failed: NPError %d\n", m_mimeType.c_str(), error);
        rt().unregisterInstance(&m_npp);
        m_browser.engine().unstash(m_proxyKey);
        return false;
    }
    m_alive = true;
    // The element's own data reaches the plug-in as a stream it did not ask for.
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (m_present[i] && (m_names[i] == "src" || m_names[i] == "data") && !m_values[i].empty())
            m_dataUrl = m_values[i];
    }
    if (!m_windowless) {
        m_hwnd = CreateWindowExW(
            0, kPluginClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
            m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
            m_browser.topWindow(), nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    setWindow();
    if (!m_dataUrl.empty() && m_alive)
        Streams::instance().openUnsolicited(&m_npp, m_dataUrl);
    return true;
}

void PluginElement::setWindow() {
    const int width = m_rect.right - m_rect.left;
    const int height = m_rect.bottom - m_rect.top;
    m_npWindow = NPWindow{};
    m_npWindow.window = m_windowless ? nullptr : m_hwnd;
    // A windowed plug-in's position is in its own window; a windowless one's in
    // the browser's.
    m_npWindow.x = m_windowless ? m_rect.left : 0;
    m_npWindow.y = m_windowless ? m_rect.top : 0;
    m_npWindow.width = static_cast<uint32_t>(width);
    m_npWindow.height = static_cast<uint32_t>(height);
    m_npWindow.clipRect = NPRect{
        static_cast<uint16_t>(m_npWindow.y), static_cast<uint16_t>(m_npWindow.x),
        static_cast<uint16_t>(m_npWindow.y + height), static_cast<uint16_t>(m_npWindow.x + width)};
    m_npWindow.type = m_windowless ? NPWindowTypeDrawable : NPWindowTypeWindow;
    m_windowCalls.push_back(WindowCall{m_hwnd, m_npWindow.width, m_npWindow.height});
    if (m_library.funcs().setwindow != nullptr)
        m_library.funcs().setwindow(&m_npp, &m_npWindow);
    if (m_windowless)
        InvalidateRect(m_browser.topWindow(), &m_rect, TRUE);
}

void PluginElement::resize(int width, int height) {
    if (m_pending) {
        m_rect.right = m_rect.left + width;
        m_rect.bottom = m_rect.top + height;
    }
    if (!m_alive)
        return;
    InvalidateRect(m_browser.topWindow(), &m_rect, TRUE);
    m_rect.right = m_rect.left + width;
    m_rect.bottom = m_rect.top + height;
    if (m_hwnd != nullptr)
        MoveWindow(m_hwnd, m_rect.left, m_rect.top, width, height, TRUE);
    setWindow();
}

NPObject* PluginElement::scriptable() {
    if (!m_alive)
        return nullptr;
    if (!m_askedScriptable) {
        m_askedScriptable = true;
        NPObject* object = nullptr;
        if (m_library.funcs().getvalue != nullptr &&
            m_library.funcs().getvalue(&m_npp, NPPVpluginScriptableNPObject, &object) ==
                NPERR_NO_ERROR &&
            object != nullptr && rt().isLive(object)) {
            rt().browserAdopt(object);
            m_scriptable = object;
        }
    }
    return m_scriptable;
}

int16_t PluginElement::handleEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!m_alive || m_library.funcs().event == nullptr)
        return 0;
    NPEvent event{static_cast<uint16_t>(message), static_cast<uintptr_t>(wParam),
                  static_cast<uintptr_t>(lParam)};
    return m_library.funcs().event(&m_npp, &event);
}

void PluginElement::destroy() {
    if (!m_alive)
        return;
    m_alive = false;
    // As Firefox did: the instance's streams end before the instance.
    Streams::instance().endInstance(&m_npp);
    NPSavedData* saved = nullptr;
    m_library.funcs().destroy(&m_npp, &saved);
    // What the instance made is no longer usable from the page.
    for (NPObject* object : rt().objectsOf(&m_npp)) {
        if (object->_class != nullptr && object->_class->invalidate != nullptr)
            object->_class->invalidate(object);
    }
    if (m_scriptable != nullptr)
        rt().browserRelease(m_scriptable);
    m_scriptable = nullptr;
    rt().unregisterInstance(&m_npp);
    if (m_hwnd != nullptr)
        DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
    if (m_windowless)
        InvalidateRect(m_browser.topWindow(), &m_rect, TRUE);
    m_browser.engine().unstash(m_proxyKey);
}

// ---- the browser

Browser::Browser(Options options) : m_options(std::move(options)) {
    s_browser = this;
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

void Browser::installTestbed(duk_context* ctx) {
    duk_push_object(ctx);
    const duk_function_list_entry functions[] = {
        {"raiseEvent", testbedRaiseEvent, 3},
        {"raiseEvents", testbedRaiseEvents, 4},
        {"now", testbedNow, 0},
        {"env", testbedEnv, 1},
        {"resources", testbedResources, 1},
        {"failNextCall", testbedFailNextCall, 2},
        {"failCamera", testbedFailCamera, 2},
        {"journal", testbedJournal, 0},
        {"asyncCalls", testbedAsyncCalls, 0},
        {"invalidations", testbedInvalidations, 0},
        {"messageWindows", testbedMessageWindows, 1},
        {"windows", testbedWindows, 1},
        {"arguments", testbedArguments, 1},
        {"setWindows", testbedSetWindows, 1},
        {"scriptableAsked", testbedScriptableAsked, 1},
        {"click", testbedClick, 2},
        {"pixel", testbedPixel, 2},
        {"convertArguments", testbedConvertArguments, DUK_VARARGS},
        {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, functions);
    duk_push_int(ctx, rt().table()->version);
    duk_put_prop_string(ctx, -2, "tableVersion");
    duk_push_string(ctx, m_options.asyncInstances ? "async" : "sync");
    duk_put_prop_string(ctx, -2, "instantiation");
    duk_put_prop_string(ctx, -2, "testbed");
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
    if (!readFile(m_options.page, html)) {
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
                if (readFile(folder + widen(item.src), code))
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
    const std::string url = "file:///" + narrow(m_options.page);
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
