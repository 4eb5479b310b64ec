#pragma once
// A page as the bridge sees it from another process: a window whose document
// hands out a script object. The script knows one function, whose calls it
// records with their parameters (as text, in the page function's order).

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

class PageScript : public IDispatch {
public:
    explicit PageScript(std::wstring function) : function_(std::move(function)) {}
    virtual ~PageScript() = default;

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&refs_); }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
     UINT*) override;

    std::vector<PageCall> calls;
    int lookups = 0;
    // Runs inside each call of the function, as page script would.
    std::function<void()> onCall;

private:
    LONG refs_ = 1;
    std::wstring function_;
};

class PageDocument : public HTMLDocument2Stubs {
public:
    explicit PageDocument(PageScript* script) : script_(script) { script_->AddRef(); }
    virtual ~PageDocument() { script_->Release(); }

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&refs_); }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHOD(get_Script)(IDispatch** p) override;

    int scriptRequests = 0;

private:
    LONG refs_ = 1;
    PageScript* script_;
};

class PageWindow : public HTMLWindow2Stubs {
public:
    explicit PageWindow(PageDocument* document) : document_(document) { document_->AddRef(); }
    virtual ~PageWindow() { document_->Release(); }

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&refs_); }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHOD(get_document)(IHTMLDocument2** p) override;

private:
    LONG refs_ = 1;
    PageDocument* document_;
};

} // namespace PageObjects
