#pragma once
// Connection points: a container that finds its points by interface, points
// that keep any number of sinks, a helper that fires a dispinterface event to
// every sink, and AtlAdvise/AtlUnadvise for the client side.
//
//   class CThing : ..., public IConnectionPointContainerImpl<CThing>,
//                  public IConnectionPointImpl<CThing, &DIID__IThingEvents> {
//       BEGIN_CONNECTION_POINT_MAP(CThing)
//       CONNECTION_POINT_ENTRY(DIID__IThingEvents)
//       END_CONNECTION_POINT_MAP()
//   };
//   ... FireDispEvent<&DIID__IThingEvents>(1, CComBSTR(L"abc"), 3L, 7L);

#include "com_ptr.h"
#include "com_types.h"

#include <ocidl.h>
#include <olectl.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace ATL {

HRESULT AtlAdvise(IUnknown* container, IUnknown* sink, const IID& iid, DWORD* cookie) noexcept;
HRESULT AtlUnadvise(IUnknown* container, const IID& iid, DWORD cookie) noexcept;

// One connection point. It is a tear-off of its container: it shares the
// container's reference count but answers QueryInterface only for itself.
class CComConnectionPoint : public IConnectionPoint {
public:
    explicit CComConnectionPoint(const IID& iid) noexcept : m_iid(iid) {}
    ~CComConnectionPoint();
    CComConnectionPoint(const CComConnectionPoint&) = delete;
    CComConnectionPoint& operator=(const CComConnectionPoint&) = delete;

    void SetContainer(IConnectionPointContainer* container) noexcept { m_container = container; }

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return m_container->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return m_container->Release(); }
    STDMETHOD(GetConnectionInterface)(IID* iid) override;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** container) override;
    STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) override;
    STDMETHOD(Unadvise)(DWORD cookie) override;
    STDMETHOD(EnumConnections)(IEnumConnections** connections) override;

    // The connected sinks (each queried for the point's interface), held for
    // the duration of one event even if a sink disconnects meanwhile.
    std::vector<CComPtr<IUnknown>> Sinks() const;
    // Calls Invoke(id, DISPATCH_METHOD) on every sink; args in declaration order.
    HRESULT FireDispEvent(DISPID id, VARIANT* args, UINT count) const noexcept;
    size_t SinkCount() const noexcept { return m_sinks.size(); }

    const IID& m_iid;

private:
    IConnectionPointContainer* m_container = nullptr;
    std::vector<std::pair<DWORD, IUnknown*>> m_sinks;
    DWORD m_nextCookie = 1;
};

// Base of a class that offers a connection point for *piid.
template <class T, const IID* piid>
class IConnectionPointImpl {
public:
    IConnectionPointImpl() noexcept : m_cp(*piid) {}

    CComConnectionPoint& ConnectionPoint() noexcept {
        m_cp.SetContainer(static_cast<IConnectionPointContainer*>(static_cast<T*>(this)));
        return m_cp;
    }
    // Fires event id with the given values (anything CComVariant takes), in
    // declaration order, to every connected sink. A value that cannot be made
    // (out of memory) fails the event instead of throwing out of the caller's
    // COM method.
    template <class... Args>
    HRESULT FireEvent(DISPID id, const Args&... args) noexcept {
        return CallNoThrow([&] {
            CComVariant values[sizeof...(Args) + 1] = {CComVariant(args)...};
            return ConnectionPoint().FireDispEvent(id, values, sizeof...(Args));
        });
    }

private:
    CComConnectionPoint m_cp;
};

struct ConnectionPointEntry {
    const IID* iid;
    CComConnectionPoint& (*get)(void* object);
};

template <class T, const IID* piid>
CComConnectionPoint& GetConnectionPointOf(void* object) {
    return static_cast<IConnectionPointImpl<T, piid>*>(static_cast<T*>(object))->ConnectionPoint();
}

#define BEGIN_CONNECTION_POINT_MAP(x)                                                              \
    using _CPMapClass = x;                                                                         \
    static const ::ATL::ConnectionPointEntry* GetConnectionPointMap() noexcept {                   \
        static const ::ATL::ConnectionPointEntry entries[] = {
#define CONNECTION_POINT_ENTRY(iid) {&iid, &::ATL::GetConnectionPointOf<_CPMapClass, &iid>},
#define END_CONNECTION_POINT_MAP()                                                                 \
    { nullptr, nullptr }                                                                           \
    }                                                                                              \
    ;                                                                                              \
    return entries;                                                                                \
    }

// An enumerator over the given points (each held, and through it its container).
HRESULT EnumConnectionPointsOf(std::initializer_list<IConnectionPoint*> points,
                               IEnumConnectionPoints** out) noexcept;

HRESULT FindConnectionPointIn(void* object, const ConnectionPointEntry* map, REFIID iid,
                              IConnectionPoint** point) noexcept;
HRESULT EnumConnectionPointsIn(void* object, const ConnectionPointEntry* map,
                               IEnumConnectionPoints** points) noexcept;

template <class T>
class IConnectionPointContainerImpl : public IConnectionPointContainer {
public:
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** points) override {
        return EnumConnectionPointsIn(static_cast<T*>(this), T::GetConnectionPointMap(), points);
    }
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** point) override {
        return FindConnectionPointIn(static_cast<T*>(this), T::GetConnectionPointMap(), iid, point);
    }
};

} // namespace ATL
