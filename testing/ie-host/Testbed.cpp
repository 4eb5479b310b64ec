#include "Testbed.h"

#include "PageAddress.h"

#include <psapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "BenchObjects.h"
#include "camera_sim_client.h"
#include "click.h"
#include "resources.h"

namespace IeHost {

namespace {

enum Member : DISPID {
    kJournal = 1,
    kRaiseEvent,
    kFailNextCall,
    kWindows,
    kPixel,
    kActivate,
    kDeactivate,
    kClick,
    kFailCamera,
    kRaiseEvents,
    kNow,
    kPrivateBytes,
    kEnv,
    kResources,
    kSiteCalls,
    kMovePage
};
const wchar_t* const kNames[] = {L"journal",    L"raiseEvent",  L"failNextCall", L"windows",
                                 L"pixel",      L"activate",    L"deactivate",   L"click",
                                 L"failCamera", L"raiseEvents", L"now",          L"privateBytes",
                                 L"env",        L"resources",   L"siteCalls",    L"movePage"};

// A script string literal for any text.
void appendLiteral(std::wstring& out, const std::wstring& text) {
    out += L'"';
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20 || c > 0x7E) {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    out += L'"';
}

void appendMember(std::wstring& out, const wchar_t* name, const std::wstring& literal) {
    if (out.back() != L'{')
        out += L',';
    out += name;
    out += L':';
    out += literal;
}

std::wstring literalOf(const std::wstring& text) {
    std::wstring out;
    appendLiteral(out, text);
    return out;
}

std::wstring journalLiteral() {
    static const wchar_t* const names[] = {L"kind", nullptr, L"instance", L"slot",
                                           L"name", L"args", L"hr",       L"result"};
    std::wstring out = L"[";
    for (const CameraSim::JournalRecord& record : CameraSim::currentJournal()) {
        const std::vector<std::string> fields = CameraSim::journalFields(record);
        if (out.size() > 1)
            out += L',';
        out += L'{';
        for (int i = 0; i < 8; ++i) {
            if (!names[i])
                continue;
            appendMember(out, names[i],
                         i == 2 || i == 3 ? std::to_wstring(std::atoi(fields[i].c_str()))
                                          : literalOf(utf8ToWide(fields[i])));
        }
        out += L'}';
    }
    return out + L"]";
}

BOOL CALLBACK collectWindow(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

std::wstring windowsLiteral(ControlSite* site) {
    std::wstring out = L"[";
    if (!site || !site->container)
        return out + L"]";
    std::vector<HWND> windows{site->container};
    EnumChildWindows(site->container, collectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        wchar_t name[128] = L"";
        GetClassNameW(window, name, 128);
        RECT rect{};
        GetWindowRect(window, &rect);
        if (out.size() > 1)
            out += L',';
        out += L'{';
        appendMember(out, L"className", literalOf(name));
        appendMember(out, L"width", std::to_wstring(rect.right - rect.left));
        appendMember(out, L"height", std::to_wstring(rect.bottom - rect.top));
        appendMember(out, L"visible", IsWindowVisible(window) ? L"true" : L"false");
        out += L'}';
    }
    return out + L"]";
}

ControlSite* siteOf(const VARIANT* value) {
    if (!value || value->vt != VT_DISPATCH || !value->pdispVal)
        return nullptr;
    ATL::CComPtr<IUnknown> element;
    value->pdispVal->QueryInterface(IID_IeHostElement, reinterpret_cast<void**>(&element));
    return element ? reinterpret_cast<Element*>(element.p)->site : nullptr;
}

LONG intArg(const std::vector<VARIANT*>& args, size_t i) {
    ATL::CComVariant value;
    if (i >= args.size() || FAILED(VariantChangeType(&value, args[i], 0, VT_I4)))
        return 0;
    return value.lVal;
}

void setInt(VARIANT* result, LONG value) {
    if (result) {
        result->vt = VT_I4;
        result->lVal = value;
    }
}

} // namespace

STDMETHODIMP Testbed::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1 || !names[0])
        return E_INVALIDARG;
    for (DISPID i = 0; i < static_cast<DISPID>(sizeof kNames / sizeof kNames[0]); ++i) {
        if (wcscmp(names[0], kNames[i]) == 0) {
            ids[0] = i + 1;
            return S_OK;
        }
    }
    ids[0] = benchMemberId(names[0]);
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

STDMETHODIMP Testbed::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO*, UINT*) {
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    const auto args = scriptArgs(params);
    if (result)
        VariantInit(result);
    switch (id) {
    case kJournal:
        return g_host->evaluate(journalLiteral(), result);
    case kRaiseEvent:
        // Every simulator of the prefix: the bridge's camera lives in its own process.
        setInt(result, CameraSim::requestEvent(args.empty() ? L"" : displayText(*args[0]),
                                               intArg(args, 1), intArg(args, 2)));
        return S_OK;
    case kRaiseEvents:
        // raiseEvents(text, type, subtype, count): a burst, for benchmarks.
        setInt(result, CameraSim::requestEvents(args.empty() ? L"" : displayText(*args[0]),
                                                intArg(args, 1), intArg(args, 2), intArg(args, 3)));
        return S_OK;
    case kNow:
        if (result) {
            result->vt = VT_R8;
            result->dblVal = CameraSim::nowMicroseconds();
        }
        return S_OK;
    case kEnv: {
        // A variable of the environment the test started the host in ("" when unset).
        const std::wstring name = args.empty() ? L"" : displayText(*args[0]);
        std::wstring value(GetEnvironmentVariableW(name.c_str(), nullptr, 0), L'\0');
        if (!value.empty())
            value.resize(
                GetEnvironmentVariableW(name.c_str(), &value[0], static_cast<DWORD>(value.size())));
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        }
        return S_OK;
    }
    case kResources: {
        // "handles gdi user privateBytes" of this process, or of the named one.
        const std::string text = processResources(args.empty() ? L"" : displayText(*args[0]));
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(utf8ToWide(text).c_str());
        }
        return S_OK;
    }
    case kPrivateBytes: {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters);
        if (result) {
            result->vt = VT_R8;
            // Wine leaves PrivateUsage at 0; its committed bytes stand in.
            result->dblVal = static_cast<double>(counters.PrivateUsage ? counters.PrivateUsage
                                                                       : counters.PagefileUsage);
        }
        return S_OK;
    }
    case kFailNextCall:
        CameraSim::failNextCall(intArg(args, 0), static_cast<HRESULT>(intArg(args, 1)));
        return S_OK;
    case kFailCamera: {
        const bool known = CameraSim::failCamera(args.empty() ? L"" : displayText(*args[0]),
                                                 static_cast<DWORD>(intArg(args, 1)));
        if (result) {
            result->vt = VT_BOOL;
            result->boolVal = known ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    }
    case kWindows:
        return g_host->evaluate(windowsLiteral(siteOf(args.empty() ? nullptr : args[0])), result);
    case kSiteCalls: {
        // What the host did with the element's control, in order.
        ControlSite* site = siteOf(args.empty() ? nullptr : args[0]);
        if (!site)
            return DISP_E_TYPEMISMATCH;
        std::wstring list = L"[";
        for (const std::wstring& call : site->calls) {
            if (list.size() > 1)
                list += L',';
            appendLiteral(list, call);
        }
        return g_host->evaluate(list + L"]", result);
    }
    case kPixel: {
        HDC dc = GetDC(g_host->topWindow());
        const COLORREF colour = GetPixel(dc, intArg(args, 0), intArg(args, 1));
        ReleaseDC(g_host->topWindow(), dc);
        setInt(result, (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
        return S_OK;
    }
    case kClick: {
        // A user's click at a client point of the host window.
        clickAt(g_host->topWindow(), POINT{intArg(args, 0), intArg(args, 1)});
        return S_OK;
    }
    case kActivate:
    case kDeactivate: {
        ControlSite* site = siteOf(args.empty() ? nullptr : args[0]);
        if (!site)
            return DISP_E_TYPEMISMATCH;
        if (id == kActivate)
            site->activate();
        else
            site->deactivate();
        return S_OK;
    }
    case kMovePage:
        movePage(args.empty() ? L"" : displayText(*args[0]));
        return S_OK;
    default:
        return invokeBenchMember(id, args, result);
    }
}

} // namespace IeHost
