#pragma once
// COM objects: reference counting, interface tables, aggregation and creation.
//
// A class lists its interfaces between BEGIN_COM_MAP and END_COM_MAP, in the
// order QueryInterface searches them; the first entry is the object's IUnknown
// identity. The class itself stays abstract; one of the wrappers below adds
// IUnknown:
//   CComObject<T>      ordinary heap object; each live object locks the module
//   CComAggObject<T>   the same, aggregated inside an outer object
//   CComObjectCached<T> a cached class factory: locks the module while anyone
//                       but the cache holds it (in-process servers)
//   CComObjectNoLock<T> never locks the module (local-server class objects)
//   CComObjectStackLike<T> reference count pinned at 1, owner-managed lifetime

#include "com_error.h"

#include <windows.h>
#include <unknwn.h>

#include <climits>
#include <new>

namespace ATL {

class CComSingleThreadModel {
public:
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(++*p); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(--*p); }
};

class CComMultiThreadModel {
public:
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(InterlockedIncrement(p)); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(InterlockedDecrement(p)); }
};

// One row of an interface table. Rows with a function answer through it
// (data is passed along); other rows give the interface's offset in the object.
struct InterfaceEntry {
    const IID* iid;
    DWORD_PTR offset;
    HRESULT (*func)(void* object, REFIID iid, void** ppv, DWORD_PTR data);
};

template <class Base, class Derived>
DWORD_PTR offsetOfBase() noexcept {
    return reinterpret_cast<DWORD_PTR>(static_cast<Base*>(reinterpret_cast<Derived*>(0x1000))) -
           0x1000;
}
template <class Base, class Via, class Derived>
DWORD_PTR offsetOfBase2() noexcept {
    return reinterpret_cast<DWORD_PTR>(
               static_cast<Base*>(static_cast<Via*>(reinterpret_cast<Derived*>(0x1000)))) -
           0x1000;
}

// Module lock for living objects; the module (module.h) installs the counter.
struct ModuleLock {
    static LONG Lock() noexcept;
    static LONG Unlock() noexcept;
};

class CComObjectRootBase {
public:
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

    // Searches the table for iid; IUnknown is always the first row.
    static HRESULT InternalQueryInterface(void* object, const InterfaceEntry* entries, REFIID iid,
                                          void** ppv) noexcept;

    LONG m_dwRef = 0;
    // The controlling unknown when the object is aggregated, else null.
    IUnknown* m_pOuterUnknown = nullptr;
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    using _ThreadModel = ThreadModel;
    ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }
};

#define BEGIN_COM_MAP(x)                                                                           \
public:                                                                                            \
    using _ComMapClass = x;                                                                        \
    IUnknown* GetUnknown() noexcept {                                                              \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(this) + _GetEntries()->offset); \
    }                                                                                              \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept {                             \
        return InternalQueryInterface(this, _GetEntries(), iid, ppv);                              \
    }                                                                                              \
    static const ::ATL::InterfaceEntry* _GetEntries() noexcept {                                   \
        static const ::ATL::InterfaceEntry entries[] = {
#define COM_INTERFACE_ENTRY(I) {&__uuidof(I), ::ATL::offsetOfBase<I, _ComMapClass>(), nullptr},
#define COM_INTERFACE_ENTRY_IID(iid, I) {&iid, ::ATL::offsetOfBase<I, _ComMapClass>(), nullptr},
// Interface I reached through base Via (when several bases derive from I).
#define COM_INTERFACE_ENTRY2(I, Via)                                                               \
    {&__uuidof(I), ::ATL::offsetOfBase2<I, Via, _ComMapClass>(), nullptr},
#define COM_INTERFACE_ENTRY2_IID(iid, I, Via)                                                      \
    {&iid, ::ATL::offsetOfBase2<I, Via, _ComMapClass>(), nullptr},
// fn(object, iid, ppv, data) answers the query itself.
#define COM_INTERFACE_ENTRY_FUNC(iid, data, fn) {&iid, static_cast<DWORD_PTR>(data), fn},
#define END_COM_MAP()                                                                              \
    { nullptr, 0, nullptr }                                                                        \
    }                                                                                              \
    ;                                                                                              \
    return entries;                                                                                \
    }                                                                                              \
    STDMETHOD_(ULONG, AddRef)() = 0;                                                               \
    STDMETHOD_(ULONG, Release)() = 0;                                                              \
    STDMETHOD(QueryInterface)(REFIID, void**) = 0;

// Runs FinalConstruct with a temporary reference so that QueryInterface inside
// it cannot destroy the object; exceptions become HRESULTs.
template <class Obj>
HRESULT RunFinalConstruct(Obj* p) noexcept {
    ++p->m_dwRef;
    const HRESULT hr = CallNoThrow([p] { return p->FinalConstruct(); });
    --p->m_dwRef;
    return hr;
}

template <class Base>
class CComObject : public Base {
public:
    CComObject() { ModuleLock::Lock(); }
    virtual ~CComObject() {
        this->m_dwRef = -(LONG_MAX / 2);
        this->FinalRelease();
        ModuleLock::Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG n = this->InternalRelease();
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        return this->_InternalQueryInterface(iid, ppv);
    }

    // A new object with reference count 0 after FinalConstruct.
    static HRESULT CreateInstance(CComObject** out) noexcept {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        CComObject* p = nullptr;
        HRESULT hr = CallNoThrow([&p] {
            p = new CComObject();
            return S_OK;
        });
        if (SUCCEEDED(hr))
            hr = RunFinalConstruct(p);
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *out = p;
        return S_OK;
    }
};

template <class Base>
class CComObjectNoLock : public Base {
public:
    virtual ~CComObjectNoLock() {
        this->m_dwRef = -(LONG_MAX / 2);
        this->FinalRelease();
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG n = this->InternalRelease();
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        return this->_InternalQueryInterface(iid, ppv);
    }
};

template <class Base>
class CComObjectCached : public Base {
public:
    virtual ~CComObjectCached() {
        this->m_dwRef = -(LONG_MAX / 2);
        this->FinalRelease();
    }
    STDMETHOD_(ULONG, AddRef)() override {
        const ULONG n = this->InternalAddRef();
        if (n == 2)
            ModuleLock::Lock();
        return n;
    }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG n = this->InternalRelease();
        if (n == 0)
            delete this;
        else if (n == 1)
            ModuleLock::Unlock();
        return n;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        return this->_InternalQueryInterface(iid, ppv);
    }
};

// Reference count pinned: AddRef and Release answer 1; the owner deletes it.
template <class Base>
class CComObjectStackLike : public Base {
public:
    virtual ~CComObjectStackLike() { this->FinalRelease(); }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        return this->_InternalQueryInterface(iid, ppv);
    }
};

// The aggregated object's delegating face: IUnknown calls go to the outer object.
template <class Base>
class CComContainedObject : public Base {
public:
    STDMETHOD_(ULONG, AddRef)() override { return this->m_pOuterUnknown->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->m_pOuterUnknown->Release(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        return this->m_pOuterUnknown->QueryInterface(iid, ppv);
    }
};

// The inner (non-delegating) IUnknown of an aggregated object.
template <class Contained>
class CComAggObject : public IUnknown {
public:
    explicit CComAggObject(IUnknown* outer) {
        m_contained.m_pOuterUnknown = outer;
        ModuleLock::Lock();
    }
    virtual ~CComAggObject() {
        m_dwRef = -(LONG_MAX / 2);
        m_contained.FinalRelease();
        ModuleLock::Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() override { return Contained::_ThreadModel::Increment(&m_dwRef); }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG n = Contained::_ThreadModel::Decrement(&m_dwRef);
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppv);
    }

    LONG m_dwRef = 0;
    CComContainedObject<Contained> m_contained;
};

// Creates T (CComObject<T>, or CComAggObject<T> under an outer unknown) and
// queries it for iid. An aggregated object must be asked for IUnknown.
template <class T>
HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!outer) {
        CComObject<T>* p = nullptr;
        HRESULT hr = CComObject<T>::CreateInstance(&p);
        if (FAILED(hr))
            return hr;
        p->AddRef();
        hr = p->QueryInterface(iid, ppv);
        p->Release();
        return hr;
    }
    if (!T::_Aggregatable || !InlineIsEqualGUID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    CComAggObject<T>* p = nullptr;
    HRESULT hr = CallNoThrow([&] {
        p = new CComAggObject<T>(outer);
        return S_OK;
    });
    if (SUCCEEDED(hr)) {
        ++p->m_dwRef;
        hr = CallNoThrow([p] { return p->m_contained.FinalConstruct(); });
        --p->m_dwRef;
    }
    if (FAILED(hr)) {
        delete p;
        return hr;
    }
    p->AddRef();
    hr = p->QueryInterface(iid, ppv);
    p->Release();
    return hr;
}

// Creatable class: identity, creation and (with DECLARE_REGISTRY_RESOURCEID)
// registration. Aggregatable unless the class says DECLARE_NOT_AGGREGATABLE.
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    static constexpr bool _Aggregatable = true;
    static const CLSID& WINAPI GetObjectCLSID() noexcept { return *pclsid; }
    static HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
        return CreateComInstance<T>(outer, iid, ppv);
    }
    template <class Q>
    static HRESULT CreateInstance(Q** pp) noexcept {
        return CreateComInstance<T>(nullptr, __uuidof(Q), reinterpret_cast<void**>(pp));
    }
};

#define DECLARE_NOT_AGGREGATABLE(x) static constexpr bool _Aggregatable = false;

} // namespace ATL
