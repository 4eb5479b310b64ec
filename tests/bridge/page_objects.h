#pragma once
// A page as the bridge sees it from another process: a window whose document
// hands out a script object. The script knows one function, whose calls it
// records with their parameters (as text, in the page function's order).

#include "com_object.h"
#include "com_ptr.h"
#include "dispatch.h"
#include "page_stubs.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace PageObjects {

struct PageCall {
    std::wstring function;
    std::vector<std::wstring> params;
};

// Each object starts with one reference, which its maker releases.
class PageScript : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                   public ATL::IDispatchNoTypeInfoImpl<IDispatch> {
public:
    static PageScript* Create(std::wstring function);

    BEGIN_COM_MAP(PageScript)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
     UINT*) override;

    std::vector<PageCall> calls;
    int lookups = 0;
    // Runs inside each call of the function, as page script would.
    std::function<void()> onCall;

private:
    std::wstring function_;
};

class PageDocument : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                     public ATL::IDispatchNoMembersImpl<HTMLDocument2Stubs> {
public:
    static PageDocument* Create(PageScript* script);

    BEGIN_COM_MAP(PageDocument)
    COM_INTERFACE_ENTRY(IHTMLDocument2)
    COM_INTERFACE_ENTRY2(IDispatch, IHTMLDocument2)
    COM_INTERFACE_ENTRY2(IHTMLDocument, IHTMLDocument2)
    END_COM_MAP()
    STDMETHOD(get_Script)(IDispatch** p) override;

    int scriptRequests = 0;

private:
    ATL::CComPtr<PageScript> script_;
};

class PageWindow : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                   public ATL::IDispatchNoMembersImpl<HTMLWindow2Stubs> {
public:
    static PageWindow* Create(PageDocument* document);

    BEGIN_COM_MAP(PageWindow)
    COM_INTERFACE_ENTRY(IHTMLWindow2)
    COM_INTERFACE_ENTRY2(IDispatch, IHTMLWindow2)
    COM_INTERFACE_ENTRY2(IHTMLFramesCollection2, IHTMLWindow2)
    END_COM_MAP()
    STDMETHOD(get_document)(IHTMLDocument2** p) override;

private:
    ATL::CComPtr<PageDocument> document_;
};

} // namespace PageObjects
