#include "Host.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "DcPicture.h"
#include "HostObjects.h"
#include "Navigator.h"
#include "Png.h"
#include "camera_sim_client.h"

namespace IeHost {

LONG g_liveObjects = 0;
Host* g_host = nullptr;

namespace {

// {F414C260-6AC0-11CF-B6D1-00AA00BBBB58}
const CLSID kJScript = {
    0xF414C260, 0x6AC0, 0x11CF, {0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58}};
// IActiveScriptParse, whose identifier depends on the pointer size.
#ifdef _WIN64
const IID kActiveScriptParse = {
    0xC7EF7658, 0xE1EE, 0x480E, {0x97, 0xEA, 0xD5, 0x2C, 0xB4, 0xD7, 0x6D, 0x17}};
#else
const IID kActiveScriptParse = {
    0xBB1A2AE2, 0xA4F9, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
#endif
const UINT_PTR kScreenshotTimer = 0x7FFF0001;
const UINT kActivatePending = WM_APP + 1;
const wchar_t kTopClass[] = L"IeHostWindow";

// Keeps the windows painting (and the page's timers running) for a while.
void pumpMessagesFor(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

} // namespace

// The engine's host side: named items, errors.
class ScriptSite : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                   public IActiveScriptSite,
                   public IActiveScriptSiteWindow {
public:
    BEGIN_COM_MAP(ScriptSite)
    COM_INTERFACE_ENTRY(IActiveScriptSite)
    COM_INTERFACE_ENTRY(IActiveScriptSiteWindow)
    END_COM_MAP()

    STDMETHOD(GetLCID)(LCID* lcid) override {
        if (lcid)
            *lcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    STDMETHOD(GetItemInfo)
    (LPCOLESTR name, DWORD mask, IUnknown** unknown, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        if (unknown)
            *unknown = nullptr;
        if (!name)
            return E_INVALIDARG;
        IUnknown* item = nullptr;
        if (!wcscmp(name, L"window"))
            item = static_cast<IHTMLWindow2*>(g_host->window());
        else if (ControlSite* site = g_host->elementById(name))
            item = site->control;
        if (!item)
            return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            if (!unknown)
                return E_POINTER;
            *unknown = item;
            item->AddRef();
        }
        return (mask & SCRIPTINFO_ITYPEINFO) && !(mask & SCRIPTINFO_IUNKNOWN)
                   ? TYPE_E_ELEMENTNOTFOUND
                   : S_OK;
    }
    STDMETHOD(GetDocVersionString)(BSTR* version) override {
        if (version)
            *version = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(OnScriptTerminate)(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHOD(OnStateChange)(SCRIPTSTATE) override { return S_OK; }
    STDMETHOD(OnScriptError)(IActiveScriptError* error) override {
        ATL::CExcepInfo info;
        std::wstring message = L"script error";
        if (error && SUCCEEDED(error->GetExceptionInfo(&info))) {
            const std::wstring description = info.Description();
            if (!description.empty())
                message = description;
        }
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        if (error && SUCCEEDED(error->GetSourcePosition(&context, &line, &column))) {
            BSTR source = nullptr;
            std::wstring text;
            if (SUCCEEDED(error->GetSourceLineText(&source)) && source)
                text = source;
            SysFreeString(source);
            message += L" (line " + std::to_wstring(line + 1) + L": " + text + L")";
        }
        g_host->scriptError(message);
        return S_OK;
    }
    STDMETHOD(OnEnterScript)() override { return S_OK; }
    STDMETHOD(OnLeaveScript)() override { return S_OK; }
    STDMETHOD(GetWindow)(HWND* hwnd) override {
        if (!hwnd)
            return E_POINTER;
        *hwnd = g_host->topWindow();
        return S_OK;
    }
    STDMETHOD(EnableModeless)(BOOL) override { return S_OK; }
};

namespace {

std::wstring callFailure(HRESULT hr, ATL::CExcepInfo& info) {
    std::wstring message = info.Description();
    if (message.empty()) {
        wchar_t text[32];
        swprintf(text, 32, L"error 0x%08lX", static_cast<unsigned long>(hr));
        message = text;
    }
    return message;
}

} // namespace

std::wstring displayText(const VARIANT& value) {
    switch (value.vt) {
    case VT_EMPTY:
        return L"undefined";
    case VT_NULL:
        return L"null";
    case VT_BOOL:
        return value.boolVal ? L"true" : L"false";
    case VT_DISPATCH: {
        if (!value.pdispVal)
            return L"null";
        DISPID id;
        LPOLESTR name = const_cast<LPOLESTR>(L"toString");
        DISPPARAMS none{};
        ATL::CComVariant text;
        if (SUCCEEDED(value.pdispVal->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) &&
            SUCCEEDED(value.pdispVal->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &text,
                                             nullptr, nullptr)) &&
            text.vt == VT_BSTR)
            return text.bstrVal ? text.bstrVal : L"";
        return L"[object]";
    }
    default: {
        ATL::CComVariant text;
        if (SUCCEEDED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&value), 0x0409, 0, VT_BSTR)))
            return text.bstrVal ? text.bstrVal : L"";
        return L"?";
    }
    }
}

Host::Host(const Options& options) : m_options(options) {
    g_host = this;
}

Host::~Host() {
    g_host = nullptr;
}

LRESULT CALLBACK Host::TopWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && g_host) {
        g_host->onTimer(wParam);
        return 0;
    }
    if (msg == kActivatePending && g_host) {
        g_host->activatePending();
        return 0;
    }
    if (msg == WM_CLOSE && g_host) {
        g_host->requestClose();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Host::createTopWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &Host::TopWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kTopClass;
    RegisterClassW(&wc);
    RECT rc = {0, 0, m_options.width, m_options.height};
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    AdjustWindowRect(&rc, style, FALSE);
    m_top = CreateWindowExW(0, kTopClass, L"ie-host", style, 0, 0, rc.right - rc.left,
                            rc.bottom - rc.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (m_top)
        ShowWindow(m_top, SW_SHOW);
}

void Host::nextElementPosition(int width, int height, RECT& rc) {
    rc = {0, m_nextTop, width, m_nextTop + height};
    m_nextTop += height;
}

void Host::startEngine() {
    m_scriptSite = make<ScriptSite>();
    if (FAILED(CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                reinterpret_cast<void**>(&m_engine))))
        return;
    m_engine->QueryInterface(kActiveScriptParse, reinterpret_cast<void**>(&m_parse));
    m_engine->SetScriptSite(static_cast<IActiveScriptSite*>(m_scriptSite));
    if (m_parse)
        m_parse->InitNew();
    m_engine->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    m_engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    m_engine->GetScriptDispatch(nullptr, &m_global);
}

IDispatch* Host::global() {
    return m_global;
}

HRESULT Host::parseScript(const std::wstring& code, VARIANT* result) {
    if (!m_parse)
        return E_UNEXPECTED;
    ATL::CExcepInfo info;
    return m_parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                    SCRIPTTEXT_ISVISIBLE, result, &info);
}

HRESULT Host::evaluate(const std::wstring& expression, VARIANT* result) {
    if (!m_parse)
        return E_UNEXPECTED;
    ATL::CExcepInfo info;
    return m_parse->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                    SCRIPTTEXT_ISEXPRESSION, result, &info);
}

void Host::scriptError(const std::wstring& message) {
    std::fprintf(stderr, "Uncaught: %s\n", wideToUtf8(message).c_str());
    std::fflush(stderr);
    m_scriptFailed = true;
}

int Host::setTimer(IDispatch* function, const std::wstring& code, UINT delay, bool repeat) {
    const int id = m_nextTimer++;
    m_timers[id] = Timer{function, code, repeat};
    SetTimer(m_top, static_cast<UINT_PTR>(id), delay ? delay : 1, nullptr);
    return id;
}

void Host::clearTimer(int id) {
    KillTimer(m_top, static_cast<UINT_PTR>(id));
    m_timers.erase(id);
}

void Host::onTimer(UINT_PTR id) {
    if (id == kScreenshotTimer) {
        KillTimer(m_top, id);
        takeScreenshot();
        return;
    }
    auto found = m_timers.find(static_cast<int>(id));
    if (found == m_timers.end()) {
        KillTimer(m_top, id);
        return;
    }
    Timer timer = found->second;
    if (!timer.repeat)
        clearTimer(static_cast<int>(id));
    if (timer.function) {
        DISPPARAMS none{};
        ATL::CComVariant result;
        ATL::CExcepInfo info;
        const HRESULT hr = timer.function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                                  DISPATCH_METHOD, &none, &result, &info, nullptr);
        if (hr == DISP_E_EXCEPTION)
            scriptError(callFailure(hr, info));
    } else {
        parseScript(timer.code);
    }
}

ControlSite* Host::elementById(const std::wstring& id) {
    for (ControlSite* site : m_elements) {
        if (!id.empty() && site->id == id)
            return site;
    }
    return nullptr;
}

ControlSite* Host::siteFor(Element* element, std::wstring& error) {
    ControlSite* site = make<ControlSite>();
    if (!site->create(element, error)) {
        site->destroy();
        site->Release();
        return nullptr;
    }
    m_elements.push_back(site);
    return site;
}

ControlSite* Host::addElement(const PageItem& item) {
    Element* element = make<Element>();
    element->item = item;
    std::wstring error;
    ControlSite* site = siteFor(element, error);
    static_cast<IHTMLElement*>(element)->Release();
    if (!error.empty())
        std::fprintf(stderr, "ie-host: <object>: %s\n", wideToUtf8(error).c_str());
    if (!site)
        return nullptr;
    site->activate();
    if (!site->id.empty() && m_engine && site->control)
        m_engine->AddNamedItem(site->id.c_str(), SCRIPTITEM_ISVISIBLE);
    return site;
}

bool Host::appendElement(Element* element) {
    std::wstring error;
    ControlSite* site = siteFor(element, error);
    if (!error.empty())
        std::fprintf(stderr, "ie-host: appendChild: %s\n", wideToUtf8(error).c_str());
    if (!site)
        return false;
    m_pendingActivation.push_back(site);
    PostMessageW(m_top, kActivatePending, 0, 0);
    return true;
}

void Host::activatePending() {
    std::vector<ControlSite*> pending;
    pending.swap(m_pendingActivation);
    for (ControlSite* site : pending) {
        // Only elements still in the page.
        if (std::find(m_elements.begin(), m_elements.end(), site) != m_elements.end())
            site->activate();
    }
}

void Host::removeElement(ControlSite* site) {
    auto found = std::find(m_elements.begin(), m_elements.end(), site);
    if (found == m_elements.end())
        return;
    m_elements.erase(found);
    m_pendingActivation.erase(
        std::remove(m_pendingActivation.begin(), m_pendingActivation.end(), site),
        m_pendingActivation.end());
    site->destroy();
    if (m_options.releaseRemoved) {
        // As Internet Explorer does: the control goes now, and the site with
        // the page's element.
        site->control.Release();
        site->Release();
        return;
    }
    // Kept until the end, so that the leak check also covers removed controls.
    m_removed.push_back(site);
}

void Host::connectScriptFor(const PageItem& item) {
    auto forAttribute = item.attributes.find(L"for");
    auto eventAttribute = item.attributes.find(L"event");
    if (eventAttribute == item.attributes.end())
        return;
    std::wstring event = eventAttribute->second;
    std::wstring params;
    const size_t open = event.find(L'(');
    if (open != std::wstring::npos) {
        const size_t close = event.find(L')', open);
        params = event.substr(open + 1,
                              close == std::wstring::npos ? std::wstring::npos : close - open - 1);
        event = event.substr(0, open);
    }
    while (!event.empty() && iswspace(event.back()))
        event.pop_back();
    const std::wstring function = L"__ieHostFor" + std::to_wstring(++m_forCount);
    parseScript(L"function " + function + L"(" + params + L") {\n" + item.text + L"\n}");
    ForHandler handler{forAttribute->second, event, function, false};
    // An element above the block hears its events from here on.
    handler.bound = bind(handler);
    m_forHandlers.push_back(handler);
}

bool Host::bind(const ForHandler& handler) {
    ControlSite* site = elementById(handler.element);
    if (!site || !site->eventSink())
        return false;
    site->eventSink()->handlers.emplace_back(handler.event, handler.function);
    return true;
}

void Host::connectPendingHandlers() {
    // Each element's sink is connected already: the handlers of elements
    // further down the page only join it.
    for (ForHandler& handler : m_forHandlers) {
        if (!handler.bound)
            handler.bound = bind(handler);
    }
}

void Host::loadPage(const Page& page) {
    parseScript(
        navigatorScript(m_options.cpuClass.empty() ? defaultCpuClass() : m_options.cpuClass));
    for (const PageItem& item : page.items) {
        if (item.kind == PageItem::Kind::object) {
            addElement(item);
        } else if (item.attributes.count(L"for") && item.attributes.count(L"event")) {
            connectScriptFor(item);
        } else {
            parseScript(item.text);
        }
    }
    connectPendingHandlers();
    if (!page.bodyOnload.empty())
        parseScript(page.bodyOnload);
}

void Host::takeScreenshot() {
    RECT rc;
    GetClientRect(m_top, &rc);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0)
        return;
    HDC windowDc = GetDC(m_top);
    const std::vector<uint8_t> rgb = testpng::captureRgb(windowDc, 0, 0, width, height);
    ReleaseDC(m_top, windowDc);
    if (rgb.empty())
        return;
    if (!testpng::writePng(m_options.screenshot, static_cast<uint32_t>(width),
                           static_cast<uint32_t>(height), rgb))
        std::fprintf(stderr, "ie-host: cannot write %s\n",
                     wideToUtf8(m_options.screenshot).c_str());
}

int Host::tearDown() {
    for (auto& [id, timer] : m_timers)
        KillTimer(m_top, static_cast<UINT_PTR>(id));
    m_timers.clear();
    for (ControlSite* site : m_elements)
        site->destroy();
    if (m_engine) {
        m_engine->Close();
        m_global.Release();
        m_parse.Release();
        m_engine.Release();
    }
    std::vector<std::wstring> faults;
    m_elements.insert(m_elements.end(), m_removed.begin(), m_removed.end());
    m_removed.clear();
    m_pendingActivation.clear();
    for (ControlSite* site : m_elements) {
        IUnknown* control = site->control.Detach();
        if (control) {
            const ULONG left = control->Release();
            if (left > 0)
                faults.push_back(L"control " + site->id + L" still referenced (" +
                                 std::to_wstring(left) + L")");
        }
        site->Release();
    }
    m_elements.clear();
    if (m_document)
        m_document->dropBody();
    if (m_window) {
        m_window->dropPageObjects();
        static_cast<IHTMLWindow2*>(m_window)->Release();
    }
    if (m_document)
        static_cast<IHTMLDocument2*>(m_document)->Release();
    if (m_browser)
        static_cast<IWebBrowser2*>(m_browser)->Release();
    if (m_scriptSite)
        static_cast<IActiveScriptSite*>(m_scriptSite)->Release();
    m_window = nullptr;
    m_document = nullptr;
    m_browser = nullptr;
    m_scriptSite = nullptr;
    CoFreeUnusedLibraries();
    if (g_liveObjects > 0)
        faults.push_back(std::to_wstring(g_liveObjects) + L" page objects still referenced");
    for (const std::wstring& fault : faults)
        std::fprintf(stderr, "%s\n", wideToUtf8(fault).c_str());
    if (m_top)
        DestroyWindow(m_top);
    return faults.empty() ? 0 : 4;
}

int Host::run() {
    Page page;
    std::wstring error;
    if (!readPage(m_options.page, page, error)) {
        std::fprintf(stderr, "ie-host: %s\n", wideToUtf8(error).c_str());
        return 2;
    }
    std::unique_ptr<CameraSim::JournalFile> journal;
    if (m_options.journal)
        journal = std::make_unique<CameraSim::JournalFile>();
    createTopWindow();
    m_window = make<Window>();
    m_document = make<Document>();
    m_browser = make<WebBrowser>();
    startEngine();
    if (!m_engine) {
        std::fprintf(stderr, "ie-host: no JScript engine\n");
        return 2;
    }
    loadPage(page);
    if (!m_options.screenshot.empty())
        SetTimer(m_top, kScreenshotTimer,
                 m_options.screenshotDelayMs > 0 ? m_options.screenshotDelayMs : 1, nullptr);

    const ULONGLONG deadline =
        GetTickCount64() + static_cast<ULONGLONG>(m_options.timeoutSeconds) * 1000;
    bool timedOut = false;
    while (!m_closeRequested) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            timedOut = true;
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        MSG msg;
        while (!m_closeRequested && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (timedOut)
        std::fprintf(stderr, "ie-host: timeout: the page did not call window.close()\n");
    else
        pumpMessagesFor(static_cast<DWORD>(m_options.lingerSeconds) * 1000);
    // A screenshot that was asked for and not yet taken is taken now.
    if (!m_options.screenshot.empty() && KillTimer(m_top, kScreenshotTimer))
        takeScreenshot();
    const int faults = tearDown();
    if (faults)
        return faults;
    if (m_scriptFailed)
        return 1;
    return timedOut ? 3 : 0;
}

} // namespace IeHost
