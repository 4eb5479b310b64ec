#pragma once
// Owning interface pointers: CComPtr holds one reference; CComQIPtr also
// accepts any interface and queries it on assignment.

#include <windows.h>
#include <unknwn.h>
#include <objsafe.h>

#include <utility>

// mingw's objsafe.h gives IObjectSafety no __uuidof.
__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0,
                0x64)

namespace ATL {

template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(T* p) noexcept : p(p) {
        if (p)
            p->AddRef();
    }
    CComPtr(const CComPtr& o) noexcept : CComPtr(o.p) {}
    CComPtr(CComPtr&& o) noexcept : p(o.p) { o.p = nullptr; }
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* q) noexcept {
        if (q != p) {
            if (q)
                q->AddRef();
            T* old = p;
            p = q;
            if (old)
                old->Release();
        }
        return *this;
    }
    CComPtr& operator=(const CComPtr& o) noexcept { return *this = o.p; }
    CComPtr& operator=(CComPtr&& o) noexcept {
        if (this != &o) {
            Release();
            p = o.p;
            o.p = nullptr;
        }
        return *this;
    }

    operator T*() const noexcept { return p; }
    T* operator->() const noexcept { return p; }
    T& operator*() const noexcept { return *p; }
    // Address for an out-parameter: the pointer must be empty.
    T** operator&() noexcept { return &p; }
    bool operator!() const noexcept { return p == nullptr; }

    void Release() noexcept {
        T* old = p;
        p = nullptr;
        if (old)
            old->Release();
    }
    void Attach(T* q) noexcept {
        Release();
        p = q;
    }
    T* Detach() noexcept {
        T* q = p;
        p = nullptr;
        return q;
    }
    HRESULT CopyTo(T** out) const noexcept {
        if (!out)
            return E_POINTER;
        *out = p;
        if (p)
            p->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** out) const noexcept {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!p)
            return E_POINTER;
        return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out));
    }
    // Same COM identity (IUnknown) as q.
    bool IsEqualObject(IUnknown* q) const noexcept;

    T* p = nullptr;
};

template <class T>
bool CComPtr<T>::IsEqualObject(IUnknown* q) const noexcept {
    if (!p || !q)
        return p == nullptr && q == nullptr;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    q->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    const bool same = a == b && a != nullptr;
    if (a)
        a->Release();
    if (b)
        b->Release();
    return same;
}

template <class T, const IID* piid = &__uuidof(T)>
class CComQIPtr : public CComPtr<T> {
public:
    CComQIPtr() noexcept = default;
    CComQIPtr(T* p) noexcept : CComPtr<T>(p) {}
    CComQIPtr(IUnknown* unk) noexcept { Query(unk); }
    CComQIPtr& operator=(T* p) noexcept {
        CComPtr<T>::operator=(p);
        return *this;
    }
    CComQIPtr& operator=(IUnknown* unk) noexcept {
        T* old = this->Detach();
        Query(unk);
        if (old)
            old->Release();
        return *this;
    }

private:
    void Query(IUnknown* unk) noexcept {
        if (unk)
            unk->QueryInterface(*piid, reinterpret_cast<void**>(&this->p));
    }
};

template <>
class CComQIPtr<IUnknown, &IID_IUnknown> : public CComPtr<IUnknown> {
public:
    CComQIPtr() noexcept = default;
    CComQIPtr(IUnknown* unk) noexcept {
        if (unk)
            unk->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&p));
    }
};

} // namespace ATL
