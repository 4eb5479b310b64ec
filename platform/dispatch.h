#pragma once
// Dispatch answered from a type library: IDispatchImpl gives a dual interface
// GetTypeInfo/GetIDsOfNames/Invoke from the interface's description, read
// from the registered type library, or from the one embedded in this module
// when the registered one cannot be loaded.

#include "com_ptr.h"

#include <oaidl.h>

#include <mutex>

namespace ATL {

// Lazily loaded, shared description of one interface of one type library.
class CComTypeInfoHolder {
public:
    CComTypeInfoHolder(const GUID* guid, const GUID* libid, WORD major, WORD minor) noexcept
        : m_pguid(guid), m_plibid(libid), m_wMajor(major), m_wMinor(minor) {}
    ~CComTypeInfoHolder() = default;
    CComTypeInfoHolder(const CComTypeInfoHolder&) = delete;
    CComTypeInfoHolder& operator=(const CComTypeInfoHolder&) = delete;

    HRESULT GetTI(LCID lcid, ITypeInfo** info) noexcept;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                          DISPID* ids) noexcept;
    HRESULT Invoke(IDispatch* self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept;

    const GUID* m_pguid;
    const GUID* m_plibid;
    WORD m_wMajor;
    WORD m_wMinor;

private:
    std::mutex m_lock;
    CComPtr<ITypeInfo> m_info;
};

// Loads a registered type library, falling back to the one embedded in this
// module (resource TYPELIB 1) when it is not registered.
HRESULT LoadTypeLibRegisteredOrOwn(const GUID& libid, WORD major, WORD minor, LCID lcid,
                                   ITypeLib** lib) noexcept;

// GetTypeInfoCount's answer: how many type descriptions the object gives.
inline HRESULT AnswerTypeInfoCount(UINT* count, UINT descriptions) noexcept {
    if (!count)
        return E_POINTER;
    *count = descriptions;
    return S_OK;
}

template <class T, const IID* piid = &__uuidof(T), const GUID* plibid = nullptr, WORD wMajor = 1,
          WORD wMinor = 0>
class IDispatchImpl : public T {
public:
    using _tihclass = CComTypeInfoHolder;
    static CComTypeInfoHolder& TypeInfoHolder() noexcept {
        static CComTypeInfoHolder holder(piid, plibid, wMajor, wMinor);
        return holder;
    }

    STDMETHOD(GetTypeInfoCount)(UINT* count) override { return AnswerTypeInfoCount(count, 1); }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override {
        return TypeInfoHolder().GetTypeInfo(index, lcid, info);
    }
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return TypeInfoHolder().GetIDsOfNames(riid, names, count, lcid, ids);
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
     EXCEPINFO* excep, UINT* argErr) override {
        return TypeInfoHolder().Invoke(static_cast<T*>(this), id, riid, lcid, flags, params, result,
                                       excep, argErr);
    }
};

// IDispatch of an object that script reaches by name alone: it describes no
// type. Base is IDispatch or an interface derived from it; the object answers
// GetIDsOfNames and Invoke itself.
template <class Base = IDispatch>
class IDispatchNoTypeInfoImpl : public Base {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override { return AnswerTypeInfoCount(count, 0); }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
};

// The same for an object whose dispatch serves nothing: every name is unknown
// and every call refused; its interface's own methods are what it serves.
template <class Base = IDispatch>
class IDispatchNoMembersImpl : public IDispatchNoTypeInfoImpl<Base> {
public:
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

// Sets the thread's error information (description, source = ProgID of clsid
// or the interface's name) and returns hr, for a method to fail with a message
// that script callers see.
HRESULT AtlReportError(const CLSID& clsid, const wchar_t* description, const IID& iid,
                       HRESULT hr) noexcept;

// What the registered type library libid says of the method at vtable slot
// `slot` of interface iid.
struct RetvalSlot {
    // The library, the interface and a method at that slot were found.
    bool described = false;
    // T when the method is declared HRESULT __stdcall method([out, retval] T*)
    // and takes nothing else (VT_BSTR, VT_I4 ...); VT_EMPTY for any other form,
    // which no one-argument call fits.
    VARTYPE type = VT_EMPTY;
};
RetvalSlot DescribeRetvalSlot(const GUID& libid, WORD major, WORD minor, const IID& iid,
                              unsigned slot) noexcept;

// Calls the method at vtable slot `slot` of interface pointer object as
// HRESULT method(T* out): for a method whose declared form the caller's
// header does not know. Only for a slot that DescribeRetvalSlot found in
// exactly that form: any other would unbalance the stack on 32-bit Windows.
template <class T>
HRESULT CallVtableSlot(IUnknown* object, unsigned slot, T* out) noexcept {
    using Method = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, T*);
    auto method = reinterpret_cast<Method>((*reinterpret_cast<void***>(object))[slot]);
    return method(object, out);
}

// ISupportErrorInfo for one interface: S_OK for *piid, S_FALSE for the rest.
template <const IID* piid>
class ISupportErrorInfoImpl : public ISupportErrorInfo {
public:
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) override {
        return InlineIsEqualGUID(riid, *piid) ? S_OK : S_FALSE;
    }
};

} // namespace ATL
