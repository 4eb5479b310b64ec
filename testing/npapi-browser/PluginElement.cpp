#include "Browser.h"

#include "Streams.h"

namespace npbrowser {

namespace {

NpRuntime& rt() {
    return NpRuntime::instance();
}

} // namespace

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
        m_hwnd =
            CreateWindowExW(0, Browser::kPluginClass, L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, m_rect.left,
                            m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
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

} // namespace npbrowser
