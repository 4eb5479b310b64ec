#pragma once
// Dispatch event sinks: a class derives from IDispEventImpl and lists the
// events it handles in a sink map. The source calls the sink's Invoke; the
// handler runs through DispCallFunc (stdcall) with the parameters in
// declaration order. Event descriptions come from the registered type
// library (a holder shared by every sink of the same kind, filled on first
// need), or from a fixed description in the map; the handler's own signature
// gives the types the values are passed as.
//
//   class CSink : public IDispEventImpl<0, CSink, &DIID__IEvents, &LIBID_Lib, 1, 0> {
//   public:
//       BEGIN_SINK_MAP(CSink)
//       SINK_ENTRY_EX(0, DIID__IEvents, 1, OnCtrlEvent)          // type library only
//       SINK_ENTRY_FALLBACK(0, DIID__IEvents, 1, OnCtrlEvent, &info) // or info without it
//       SINK_ENTRY_INFO(0, DIID__IEvents, 2, OnOther, &info)     // always info
//       END_SINK_MAP()
//       HRESULT __stdcall OnCtrlEvent(BSTR text, long type, long subtype);
//   };
//
// The sink is not reference counted (AddRef and Release answer 1): its owner
// keeps it alive while connected. It must not be mixed into a class that has
// a COM map.

#include "com_ptr.h"

#include <oaidl.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <type_traits>

namespace ATL {

constexpr DWORD kNotConnected = 0xFEFEFEFE;

struct _ATL_FUNC_INFO {
    CALLCONV cc;
    VARTYPE vtReturn;
    SHORT nParams;
    VARTYPE pVarTypes[8];
};

// A member function pointer in its raw form (Itanium ABI: an address, or
// 1 + vtable byte offset for a virtual function; and a this-adjustment).
struct RawMemberFn {
    std::uintptr_t ptr;
    std::ptrdiff_t adj;
};

template <class F>
RawMemberFn ToRawMemberFn(F f) noexcept {
    static_assert(sizeof(F) == sizeof(RawMemberFn), "unexpected member pointer layout");
    RawMemberFn raw;
    std::memcpy(&raw, &f, sizeof(raw));
    return raw;
}

template <class>
inline constexpr bool kNoSinkParamType = false;

// The type DispCallFunc passes for a handler parameter of C++ type P.
template <class P>
constexpr VARTYPE SinkParamType() noexcept {
    using std::is_same_v;
    if constexpr (is_same_v<P, BSTR>)
        return VT_BSTR;
    else if constexpr (std::is_pointer_v<P> &&
                       std::is_base_of_v<IDispatch, std::remove_pointer_t<P>>)
        return VT_DISPATCH;
    else if constexpr (std::is_pointer_v<P> &&
                       std::is_base_of_v<IUnknown, std::remove_pointer_t<P>>)
        return VT_UNKNOWN;
    else if constexpr (std::is_pointer_v<P>)
        return static_cast<VARTYPE>(SinkParamType<std::remove_pointer_t<P>>() | VT_BYREF);
    else if constexpr (is_same_v<P, VARIANT>)
        return VT_VARIANT;
    else if constexpr (is_same_v<P, double>)
        return VT_R8;
    else if constexpr (is_same_v<P, float>)
        return VT_R4;
    else if constexpr (std::is_integral_v<P> && !is_same_v<P, bool> && !is_same_v<P, wchar_t>) {
        constexpr bool sign = std::is_signed_v<P>;
        if constexpr (sizeof(P) == 1)
            return sign ? VT_I1 : VT_UI1;
        else if constexpr (sizeof(P) == 2)
            return sign ? VT_I2 : VT_UI2;
        else if constexpr (sizeof(P) == 4)
            return sign ? VT_I4 : VT_UI4;
        else
            return sign ? VT_I8 : VT_UI8;
    } else {
        static_assert(kNoSinkParamType<P>,
                      "an event handler parameter that DispCallFunc cannot pass");
        return VT_EMPTY;
    }
}

// A sink map's handler: the member, with the parameter count and types its
// own signature gives (DispCallFunc passes exactly those).
struct SinkHandler {
    RawMemberFn fn;
    SHORT nParams;
    const VARTYPE* pVarTypes;
};

template <class F>
struct SinkHandlerSignature {
    static constexpr bool kStdcallHresult = false;
};

template <class C, class... Args>
struct SinkHandlerSignature<HRESULT (STDMETHODCALLTYPE C::*)(Args...)> {
    static constexpr bool kStdcallHresult = true;
    template <class T>
    using On = HRESULT (STDMETHODCALLTYPE T::*)(Args...);
    static constexpr VARTYPE kTypes[sizeof...(Args) + 1] = {SinkParamType<Args>()..., VT_EMPTY};
};

template <class C, class... Args>
struct SinkHandlerSignature<HRESULT (STDMETHODCALLTYPE C::*)(Args...) noexcept>
    : SinkHandlerSignature<HRESULT (STDMETHODCALLTYPE C::*)(Args...)> {};

// A handler declared without __stdcall would be called with the wrong
// convention on 32-bit Windows (__thiscall there), so it does not compile.
template <class T, class F>
SinkHandler MakeSinkHandler(F fn) noexcept {
    using Signature = SinkHandlerSignature<F>;
    static_assert(Signature::kStdcallHresult,
                  "an event handler is declared HRESULT __stdcall T::handler(...)");
    const typename Signature::template On<T> onSink = fn;
    return {ToRawMemberFn(onSink), static_cast<SHORT>(std::size(Signature::kTypes) - 1),
            Signature::kTypes};
}

struct SinkMapEntry {
    UINT nControlID;
    const IID* piid; // nullptr ends the map
    DISPID dispid;
    SinkHandler handler;
    const _ATL_FUNC_INFO* pInfo; // fixed description, or null: the type library
    bool infoIsFallback;         // pInfo only when the type library cannot describe it
};

#define BEGIN_SINK_MAP(x)                                                                          \
    using _SinkMapClass = x;                                                                       \
    static const ::ATL::SinkMapEntry* _GetSinkMap() {                                              \
        static const ::ATL::SinkMapEntry map[] = {
#define SINK_ENTRY_EX(id, iid, dispid, fn)                                                         \
    {id, &iid, dispid, ::ATL::MakeSinkHandler<_SinkMapClass>(&_SinkMapClass::fn), nullptr, false},
#define SINK_ENTRY_INFO(id, iid, dispid, fn, info)                                                 \
    {id, &iid, dispid, ::ATL::MakeSinkHandler<_SinkMapClass>(&_SinkMapClass::fn), info, false},
#define SINK_ENTRY_FALLBACK(id, iid, dispid, fn, info)                                             \
    {id, &iid, dispid, ::ATL::MakeSinkHandler<_SinkMapClass>(&_SinkMapClass::fn), info, true},
#define END_SINK_MAP()                                                                             \
    { 0, nullptr, 0, {{0, 0}, 0, nullptr}, nullptr, false }                                        \
    }                                                                                              \
    ;                                                                                              \
    return map;                                                                                    \
    }

// The event interface's description, loaded once from the type library of
// the first sink that needs it.
class DispEventTypeInfo {
public:
    HRESULT GetTypeInfo(ITypeInfo** info) noexcept;
    // Learns the identities (first call only) and describes dispid.
    HRESULT GetFuncInfo(const GUID& libid, const IID& iid, WORD major, WORD minor, DISPID dispid,
                        LCID lcid, _ATL_FUNC_INFO& info) noexcept;

private:
    bool m_known = false;
    GUID m_libid = {};
    IID m_iid = {};
    WORD m_major = 0;
    WORD m_minor = 0;
    CComPtr<ITypeInfo> m_info;
    // Descriptions already read, so that each event is looked up once.
    std::map<DISPID, _ATL_FUNC_INFO> m_described;
};

// The IDispatch face shared by all sinks; T-independent work lives here.
class IDispEventBase : public IDispatch {
public:
    IDispEventBase(const IID& iid, const GUID& libid, WORD major, WORD minor,
                   DispEventTypeInfo& shared) noexcept
        : m_libid(libid), m_iid(iid), m_wMajorVerNum(major), m_wMinorVerNum(minor),
          m_shared(shared) {}
    virtual ~IDispEventBase() = default;

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHOD(Invoke)
    (DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
     EXCEPINFO* excep, UINT* argErr) override;
    // Describes event dispid from the (shared) type information.
    virtual HRESULT GetFuncInfoFromId(const IID& iid, DISPID dispid, LCID lcid,
                                      _ATL_FUNC_INFO& info);

    // Connects to / disconnects from the source's connection point for m_iid.
    HRESULT DispEventAdvise(IUnknown* source) noexcept;
    HRESULT DispEventUnadvise(IUnknown* source) noexcept;

    GUID m_libid;
    IID m_iid;
    WORD m_wMajorVerNum;
    WORD m_wMinorVerNum;
    DWORD m_dwEventCookie = kNotConnected;

protected:
    virtual UINT SinkControlId() const noexcept = 0;
    virtual const SinkMapEntry* SinkMap() const = 0;
    // The object the handlers belong to (the derived class).
    virtual void* SinkObject() noexcept = 0;

private:
    DispEventTypeInfo& m_shared;
};

// Calls handler on object with the event's values (Invoke's order: last
// parameter first), each converted to the type of the handler's parameter.
// An event described with another parameter count than the handler takes,
// or with more than 8 parameters, is refused with E_FAIL.
HRESULT InvokeSinkHandler(void* object, const SinkHandler& handler, const _ATL_FUNC_INFO& info,
                          DISPPARAMS* params, VARIANT* result) noexcept;

template <UINT nID, class T, const IID* pdiid, const GUID* plibid, WORD wMajor, WORD wMinor>
class IDispEventImpl : public IDispEventBase {
public:
    IDispEventImpl() noexcept : IDispEventBase(*pdiid, *plibid, wMajor, wMinor, SharedInfo()) {}

    static DispEventTypeInfo& SharedInfo() noexcept {
        static DispEventTypeInfo shared;
        return shared;
    }

protected:
    UINT SinkControlId() const noexcept override { return nID; }
    const SinkMapEntry* SinkMap() const override { return T::_GetSinkMap(); }
    void* SinkObject() noexcept override { return static_cast<T*>(this); }
};

} // namespace ATL
