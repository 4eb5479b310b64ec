#include "connection_points.h"

#include "com_object.h"

#include <algorithm>

namespace ATL {

namespace {

// The container's point for iid, for the client-side helpers.
HRESULT FindPoint(IUnknown* container, const IID& iid, CComPtr<IConnectionPoint>& point) noexcept {
    if (!container)
        return E_INVALIDARG;
    CComPtr<IConnectionPointContainer> cpc;
    const HRESULT hr =
        container->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    if (FAILED(hr))
        return hr;
    return cpc->FindConnectionPoint(iid, &point);
}

} // namespace

HRESULT AtlAdvise(IUnknown* container, IUnknown* sink, const IID& iid, DWORD* cookie) noexcept {
    if (!cookie)
        return E_INVALIDARG;
    CComPtr<IConnectionPoint> cp;
    const HRESULT hr = FindPoint(container, iid, cp);
    return FAILED(hr) ? hr : cp->Advise(sink, cookie);
}

HRESULT AtlUnadvise(IUnknown* container, const IID& iid, DWORD cookie) noexcept {
    CComPtr<IConnectionPoint> cp;
    const HRESULT hr = FindPoint(container, iid, cp);
    return FAILED(hr) ? hr : cp->Unadvise(cookie);
}

CComConnectionPoint::~CComConnectionPoint() {
    for (auto& [cookie, sink] : m_sinks)
        sink->Release();
}

STDMETHODIMP CComConnectionPoint::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CComConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

STDMETHODIMP CComConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out)
        return E_POINTER;
    *out = m_container;
    m_container->AddRef();
    return S_OK;
}

STDMETHODIMP CComConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    IUnknown* typed = nullptr;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&typed))) || !typed)
        return CONNECT_E_CANNOTCONNECT;
    return CallNoThrow([&] {
        try {
            m_sinks.emplace_back(m_nextCookie, typed);
        } catch (...) {
            typed->Release();
            throw;
        }
        *cookie = m_nextCookie++;
        return S_OK;
    });
}

STDMETHODIMP CComConnectionPoint::Unadvise(DWORD cookie) {
    auto it = std::find_if(m_sinks.begin(), m_sinks.end(),
                           [cookie](const auto& e) { return e.first == cookie; });
    if (it == m_sinks.end())
        return CONNECT_E_NOCONNECTION;
    IUnknown* sink = it->second;
    m_sinks.erase(it);
    sink->Release();
    return S_OK;
}

std::vector<CComPtr<IUnknown>> CComConnectionPoint::Sinks() const {
    std::vector<CComPtr<IUnknown>> out;
    out.reserve(m_sinks.size());
    for (const auto& e : m_sinks)
        out.emplace_back(e.second);
    return out;
}

HRESULT CComConnectionPoint::FireDispEvent(DISPID id, VARIANT* args, UINT count) const noexcept {
    return CallNoThrow([&] {
        // Invoke wants the arguments last to first; events are short, so the
        // reversed list lives on the stack unless it is unusually long.
        VARIANT local[16];
        std::vector<VARIANT> heap;
        VARIANT* reversed = local;
        if (count > 16) {
            heap.resize(count);
            reversed = heap.data();
        }
        for (UINT i = 0; i < count; ++i)
            reversed[i] = args[count - 1 - i];
        DISPPARAMS params = {count ? reversed : nullptr, nullptr, count, 0};
        for (const auto& sink : Sinks()) {
            IDispatch* disp = static_cast<IDispatch*>(static_cast<IUnknown*>(sink));
            VARIANT result;
            VariantInit(&result);
            disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                         nullptr, nullptr);
            VariantClear(&result);
        }
        return S_OK;
    });
}

HRESULT FindConnectionPointIn(void* object, const ConnectionPointEntry* map, REFIID iid,
                              IConnectionPoint** point) noexcept {
    if (!point)
        return E_POINTER;
    *point = nullptr;
    for (const ConnectionPointEntry* e = map; e->iid; ++e) {
        if (InlineIsEqualGUID(*e->iid, iid)) {
            CComConnectionPoint& cp = e->get(object);
            cp.AddRef();
            *point = &cp;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

namespace {

void CopyItem(const CComPtr<IConnectionPoint>& point, IConnectionPoint** out) noexcept {
    point.CopyTo(out);
}
void CopyItem(const std::pair<DWORD, CComPtr<IUnknown>>& connection, CONNECTDATA* out) noexcept {
    connection.second.CopyTo(&out->pUnk);
    out->dwCookie = connection.first;
}

// Enumerator over a snapshot: of a container's points (each held, and through
// it the container) or of a point's connections (sink and cookie).
template <class Enum, const IID* piid, class Item, class Held>
class CEnumSnapshot : public CComObjectRootEx<CComSingleThreadModel>, public Enum {
public:
    BEGIN_COM_MAP(CEnumSnapshot)
    COM_INTERFACE_ENTRY_IID(*piid, Enum)
    END_COM_MAP()

    // A new enumerator whose snapshot fill(items) makes.
    template <class Fill>
    static HRESULT Create(Enum** out, Fill&& fill) noexcept {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        CComObject<CEnumSnapshot>* e = nullptr;
        HRESULT hr = CComObject<CEnumSnapshot>::CreateInstance(&e);
        if (FAILED(hr))
            return hr;
        e->AddRef();
        hr = CallNoThrow([&] {
            fill(*e);
            return S_OK;
        });
        if (SUCCEEDED(hr))
            hr = e->QueryInterface(*piid, reinterpret_cast<void**>(out));
        e->Release();
        return hr;
    }

    STDMETHOD(Next)(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count != 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_pos < m_items.size())
            CopyItem(m_items[m_pos++], &out[n++]);
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG count) override {
        const size_t skipped = std::min<size_t>(count, m_items.size() - m_pos);
        m_pos += skipped;
        return skipped == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Reset)() override {
        m_pos = 0;
        return S_OK;
    }
    STDMETHOD(Clone)(Enum** out) override {
        return Create(out, [this](CEnumSnapshot& copy) {
            copy.m_items = m_items;
            copy.m_pos = m_pos;
        });
    }

    std::vector<Held> m_items;
    size_t m_pos = 0;
};

using CEnumConnectionPoints = CEnumSnapshot<IEnumConnectionPoints, &IID_IEnumConnectionPoints,
                                            IConnectionPoint*, CComPtr<IConnectionPoint>>;
using CEnumConnections = CEnumSnapshot<IEnumConnections, &IID_IEnumConnections, CONNECTDATA,
                                       std::pair<DWORD, CComPtr<IUnknown>>>;

} // namespace

STDMETHODIMP CComConnectionPoint::EnumConnections(IEnumConnections** connections) {
    return CEnumConnections::Create(connections, [this](CEnumConnections& e) {
        e.m_items.reserve(m_sinks.size());
        for (const auto& [cookie, sink] : m_sinks)
            e.m_items.emplace_back(cookie, sink);
    });
}

HRESULT EnumConnectionPointsIn(void* object, const ConnectionPointEntry* map,
                               IEnumConnectionPoints** points) noexcept {
    return CEnumConnectionPoints::Create(points, [&](CEnumConnectionPoints& e) {
        for (const ConnectionPointEntry* entry = map; entry->iid; ++entry)
            e.m_items.emplace_back(&entry->get(object));
    });
}

HRESULT EnumConnectionPointsOf(std::initializer_list<IConnectionPoint*> points,
                               IEnumConnectionPoints** out) noexcept {
    return CEnumConnectionPoints::Create(out, [&](CEnumConnectionPoints& e) {
        for (IConnectionPoint* point : points)
            e.m_items.emplace_back(point);
    });
}

} // namespace ATL
