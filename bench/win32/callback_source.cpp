// callback_source.exe: the floor of the bridge's event row. A COM local server
// whose object, asked by the page, calls a page function count times from its
// own single-threaded apartment, each time with one IDispatch::Invoke on the
// page's script object with three texts, as the bridge relays a camera event.
// The page's script object and the function's DISPID are looked up once, when
// the page names them, so that each event costs the bare cross-process
// callback and nothing else.
//
//   source.listen(window, "name")   keeps window's script object and name's DISPID
//   source.raise("b{n}", count)     returns at once; the calls follow
//
// In the text, "{n}" is the event's number in a burst of more than one and
// "{qpc}" the time it is called (microseconds of the performance counter),
// as the camera simulator writes them.
#include "com_error.h"
#include "com_object.h"
#include "com_ptr.h"
#include "control.h"
#include "dispatch.h"
#include "exe_module.h"
#include "window.h"

#include "sim_settings.h"

#include <mshtml.h>

#include <deque>
#include <string>

using namespace ATL;
using CameraSim::kBurstNumberMarker;
using CameraSim::kFireTimeMarker;
using CameraSim::nowMicroseconds;
using CameraSim::replaced;

// {5F628827-506E-4873-8892-91DBD60B604B}
const CLSID CLSID_CallbackSource = {
    0x5F628827, 0x506E, 0x4873, {0x88, 0x92, 0x91, 0xDB, 0xD6, 0x0B, 0x60, 0x4B}};

namespace {

constexpr DISPID kListen = 1, kRaise = 2;
constexpr UINT kCallPending = WM_APP + 1;

class CCallbackSource
    : public CComObjectRootEx<CComSingleThreadModel>,
      public IDispatchNoTypeInfoImpl<IDispatch>,
      public IObjectSafetyImpl<CCallbackSource, INTERFACESAFE_FOR_UNTRUSTED_CALLER>,
      public CComCoClass<CCallbackSource, &CLSID_CallbackSource>,
      public CWindowImpl<CCallbackSource> {
public:
    DECLARE_REGISTRY_RESOURCEID(101)

    BEGIN_COM_MAP(CCallbackSource)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IObjectSafety)
    END_COM_MAP()

    BEGIN_MSG_MAP(CCallbackSource)
    MESSAGE_HANDLER(kCallPending, OnCallPending)
    END_MSG_MAP()

    HRESULT FinalConstruct() {
        RECT none = {};
        return Create(HWND_MESSAGE, none, nullptr, 0) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    void FinalRelease() { DestroyWindow(); }

    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0)
            return E_POINTER;
        const std::wstring name = names[0] ? names[0] : L"";
        ids[0] = name == L"listen" ? kListen : name == L"raise" ? kRaise : DISPID_UNKNOWN;
        for (UINT i = 1; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }

    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
     UINT*) override {
        if (!(flags & DISPATCH_METHOD) || (id != kListen && id != kRaise))
            return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != 2 || params->cNamedArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (result)
            VariantInit(result);
        // Arguments come last to first.
        return CallNoThrow([&] {
            return id == kListen ? Listen(params->rgvarg[1], params->rgvarg[0])
                                 : Raise(params->rgvarg[1], params->rgvarg[0]);
        });
    }

    DWORD m_dwSafety = 0;

private:
    struct Request {
        std::wstring text;
        LONG count;
    };

    HRESULT Listen(VARIANT& page, VARIANT& function) {
        CComVariant window, name;
        if (FAILED(VariantChangeType(&window, &page, 0, VT_DISPATCH)) || !V_DISPATCH(&window) ||
            FAILED(VariantChangeType(&name, &function, 0, VT_BSTR)))
            return DISP_E_TYPEMISMATCH;
        CComQIPtr<IHTMLWindow2> html(V_DISPATCH(&window));
        CComPtr<IHTMLDocument2> document;
        CComPtr<IDispatch> script;
        if (!html || FAILED(html->get_document(&document)) || !document ||
            FAILED(document->get_Script(&script)) || !script)
            return E_FAIL;
        LPOLESTR names[] = {V_BSTR(&name)};
        DISPID found = DISPID_UNKNOWN;
        const HRESULT hr = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &found);
        if (FAILED(hr))
            return hr;
        m_script = script;
        m_function = found;
        return S_OK;
    }

    HRESULT Raise(VARIANT& text, VARIANT& count) {
        CComVariant words, times;
        if (FAILED(VariantChangeType(&words, &text, 0, VT_BSTR)) ||
            FAILED(VariantChangeType(&times, &count, 0, VT_I4)))
            return DISP_E_TYPEMISMATCH;
        if (!m_script)
            return E_UNEXPECTED;
        const bool idle = m_pending.empty();
        m_pending.push_back({V_BSTR(&words), V_I4(&times) > 0 ? V_I4(&times) : 1});
        if (idle)
            PostMessageW(m_hWnd, kCallPending, 0, 0);
        return S_OK;
    }

    // Each event is one call of the page function, its arguments as the
    // bridge passes them: (subtype, type, text) to the function.
    LRESULT OnCallPending(UINT, WPARAM, LPARAM, BOOL&) {
        // A page call that is waited for lets the next request in; the loop
        // below, already running, takes it.
        if (m_calling)
            return 0;
        CComPtr<IUnknown> self(GetUnknown());
        m_calling = true;
        CallNoThrow([&] {
            CComVariant subtype(L"7"), type(L"3");
            while (!m_pending.empty() && m_script) {
                const Request request = m_pending.front();
                for (LONG n = 0; n < request.count && m_script; ++n)
                    CallPage(request.count > 1
                                 ? replaced(request.text, kBurstNumberMarker, std::to_wstring(n))
                                 : request.text,
                             subtype, type);
                m_pending.pop_front();
            }
            return S_OK;
        });
        m_calling = false;
        return 0;
    }

    void CallPage(const std::wstring& text, const CComVariant& subtype, const CComVariant& type) {
        const std::wstring stamped = replaced(
            text, kFireTimeMarker, std::to_wstring(static_cast<long long>(nowMicroseconds())));
        CComVariant args[3] = {CComVariant(stamped.c_str()), type, subtype};
        DISPPARAMS dp = {args, nullptr, 3, 0};
        CComVariant answer;
        CExcepInfo excep;
        m_script->Invoke(m_function, IID_NULL, 0, DISPATCH_METHOD, &dp, &answer, &excep, nullptr);
    }

    CComPtr<IDispatch> m_script;
    DISPID m_function = DISPID_UNKNOWN;
    std::deque<Request> m_pending;
    bool m_calling = false;
};

} // namespace

OBJECT_ENTRY_AUTO(CLSID_CallbackSource, CCallbackSource)

class CCallbackSourceModule : public CAtlExeModuleT<CCallbackSourceModule> {
public:
    // Registers the class alone: the source has no type library and no AppID.
    bool ParseCommandLine(const wchar_t* cmdLine, HRESULT* hr) noexcept {
        *hr = S_OK;
        switch (FirstRegistrationWord(cmdLine)) {
        case RegistrationWord::Register:
            *hr = RegisterServer(FALSE);
            return false;
        case RegistrationWord::Unregister:
            *hr = UnregisterServer(FALSE);
            return false;
        default:
            return true;
        }
    }
};

CCallbackSourceModule _AtlModule;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    return _AtlModule.WinMain(show);
}
