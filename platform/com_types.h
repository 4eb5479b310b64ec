#pragma once
// RAII for BSTR, VARIANT, exception records and kernel handles.

#include "com_error.h"

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <string_view>

namespace ATL {

// Owns one BSTR (null is the empty string).
class CComBSTR {
public:
    CComBSTR() noexcept = default;
    CComBSTR(const wchar_t* s) : m_str(s ? alloc(s, wcslen(s)) : nullptr) {}
    CComBSTR(std::wstring_view s) : m_str(alloc(s.data(), s.size())) {}
    CComBSTR(const CComBSTR& o) : m_str(o.Copy()) {}
    CComBSTR(CComBSTR&& o) noexcept : m_str(o.m_str) { o.m_str = nullptr; }
    ~CComBSTR() { SysFreeString(m_str); }
    CComBSTR& operator=(const CComBSTR& o) {
        if (this != std::addressof(o))
            Attach(o.Copy());
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& o) noexcept {
        if (this != std::addressof(o))
            Attach(o.Detach());
        return *this;
    }

    operator BSTR() const noexcept { return m_str; }
    BSTR* operator&() noexcept { return &m_str; }
    UINT Length() const noexcept { return SysStringLen(m_str); }
    std::wstring_view view() const noexcept { return {m_str ? m_str : L"", Length()}; }
    // A new BSTR the caller owns; throws on out-of-memory.
    BSTR Copy() const { return m_str ? alloc(m_str, SysStringLen(m_str)) : nullptr; }
    HRESULT CopyTo(BSTR* out) const noexcept {
        if (!out)
            return E_POINTER;
        *out = m_str ? SysAllocStringLen(m_str, SysStringLen(m_str)) : nullptr;
        return (m_str && !*out) ? E_OUTOFMEMORY : S_OK;
    }
    void Attach(BSTR s) noexcept {
        if (s != m_str)
            SysFreeString(m_str);
        m_str = s;
    }
    BSTR Detach() noexcept {
        BSTR s = m_str;
        m_str = nullptr;
        return s;
    }
    void Empty() noexcept { Attach(nullptr); }

    BSTR m_str = nullptr;

private:
    static BSTR alloc(const wchar_t* s, size_t n) {
        BSTR b = n <= 0x7FFFFFF0u ? SysAllocStringLen(s, static_cast<UINT>(n)) : nullptr;
        if (!b)
            AtlThrow(E_OUTOFMEMORY);
        return b;
    }
};

// A VARIANT that clears itself.
class CComVariant : public tagVARIANT {
public:
    CComVariant() noexcept { VariantInit(this); }
    CComVariant(const VARIANT& v) {
        VariantInit(this);
        check(VariantCopy(this, const_cast<VARIANT*>(&v)));
    }
    CComVariant(const CComVariant& v) : CComVariant(static_cast<const VARIANT&>(v)) {}
    CComVariant(long v) noexcept {
        vt = VT_I4;
        lVal = v;
    }
    CComVariant(int v) noexcept : CComVariant(static_cast<long>(v)) {}
    CComVariant(bool v) noexcept {
        vt = VT_BOOL;
        boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    }
    CComVariant(double v) noexcept {
        vt = VT_R8;
        dblVal = v;
    }
    CComVariant(const wchar_t* s) {
        VariantInit(this);
        bstrVal = CComBSTR(s ? s : L"").Detach();
        vt = VT_BSTR;
    }
    CComVariant(IDispatch* p) noexcept {
        vt = VT_DISPATCH;
        pdispVal = p;
        if (p)
            p->AddRef();
    }
    ~CComVariant() { VariantClear(this); }
    CComVariant& operator=(const CComVariant& v) {
        if (this != &v)
            check(VariantCopy(this, const_cast<CComVariant*>(&v)));
        return *this;
    }
    HRESULT Clear() noexcept { return VariantClear(this); }
    HRESULT Detach(VARIANT* out) noexcept {
        if (!out)
            return E_POINTER;
        VariantClear(out);
        *out = *static_cast<VARIANT*>(this);
        vt = VT_EMPTY;
        return S_OK;
    }
    HRESULT ChangeType(VARTYPE type) noexcept { return VariantChangeType(this, this, 0, type); }

private:
    static void check(HRESULT hr) {
        if (FAILED(hr))
            AtlThrow(hr);
    }
};

// Owns the strings of an exception record that a call filled in.
class CExcepInfo : public tagEXCEPINFO {
public:
    CExcepInfo() noexcept : tagEXCEPINFO() {}
    CExcepInfo(const CExcepInfo&) = delete;
    CExcepInfo& operator=(const CExcepInfo&) = delete;
    ~CExcepInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
    // The description, "" when there is none; a deferred record is filled first.
    std::wstring Description() {
        if (pfnDeferredFillIn) {
            pfnDeferredFillIn(this);
            pfnDeferredFillIn = nullptr;
        }
        return bstrDescription ? bstrDescription : L"";
    }
};

// Owns a kernel handle (null and INVALID_HANDLE_VALUE both mean none).
class CHandle {
public:
    CHandle() noexcept = default;
    explicit CHandle(HANDLE h) noexcept : m_h(h) {}
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& o) noexcept : m_h(o.Detach()) {}
    CHandle& operator=(CHandle&& o) noexcept {
        if (this != std::addressof(o))
            Attach(o.Detach());
        return *this;
    }
    ~CHandle() { Close(); }
    operator HANDLE() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h && m_h != INVALID_HANDLE_VALUE; }
    void Attach(HANDLE h) noexcept {
        Close();
        m_h = h;
    }
    HANDLE Detach() noexcept {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    void Close() noexcept {
        if (*this)
            CloseHandle(m_h);
        m_h = nullptr;
    }

    HANDLE m_h = nullptr;
};

} // namespace ATL
