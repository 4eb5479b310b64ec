#include "connection_points.h"

#include "com_object.h"

#include <algorithm>

namespace ATL {

HRESULT AtlAdvise(IUnknown* container, IUnknown* sink, const IID& iid, DWORD* cookie) noexcept {
    if (!container || !cookie)
        return E_INVALIDARG;
    CComPtr<IConnectionPointContainer> cpc;
    HRESULT hr =
        container->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    if (FAILED(hr))
        return hr;
    CComPtr<IConnectionPoint> cp;
    hr = cpc->FindConnectionPoint(iid, &cp);
    if (FAILED(hr))
        return hr;
    return cp->Advise(sink, cookie);
}

HRESULT AtlUnadvise(IUnknown* container, const IID& iid, DWORD cookie) noexcept {
    if (!container)
        return E_INVALIDARG;
    CComPtr<IConnectionPointContainer> cpc;
    HRESULT hr =
        container->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    if (FAILED(hr))
        return hr;
    CComPtr<IConnectionPoint> cp;
    hr = cpc->FindConnectionPoint(iid, &cp);
    if (FAILED(hr))
        return hr;
    return cp->Unadvise(cookie);
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

STDMETHODIMP CComConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections)
        return E_POINTER;
    *connections = nullptr;
    return E_NOTIMPL;
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

// Enumerator over a snapshot of the container's points; holds each point
// (and through it the container) while it lives.
class CEnumConnectionPoints : public CComObjectRootEx<CComSingleThreadModel>,
                              public IEnumConnectionPoints {
public:
    BEGIN_COM_MAP(CEnumConnectionPoints)
    COM_INTERFACE_ENTRY(IEnumConnectionPoints)
    END_COM_MAP()

    STDMETHOD(Next)(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
        if (!out || (count != 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_pos < m_points.size()) {
            m_points[m_pos++].CopyTo(&out[n]);
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG count) override {
        m_pos = std::min<size_t>(m_points.size(), m_pos + count);
        return m_pos < m_points.size() ? S_OK : S_FALSE;
    }
    STDMETHOD(Reset)() override {
        m_pos = 0;
        return S_OK;
    }
    STDMETHOD(Clone)(IEnumConnectionPoints** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        CComObject<CEnumConnectionPoints>* copy = nullptr;
        HRESULT hr = CComObject<CEnumConnectionPoints>::CreateInstance(&copy);
        if (FAILED(hr))
            return hr;
        copy->AddRef();
        hr = CallNoThrow([&] {
            copy->m_points = m_points;
            copy->m_pos = m_pos;
            return S_OK;
        });
        if (SUCCEEDED(hr))
            hr = copy->QueryInterface(IID_IEnumConnectionPoints, reinterpret_cast<void**>(out));
        copy->Release();
        return hr;
    }

    std::vector<CComPtr<IConnectionPoint>> m_points;
    size_t m_pos = 0;
};

} // namespace

HRESULT EnumConnectionPointsIn(void* object, const ConnectionPointEntry* map,
                               IEnumConnectionPoints** points) noexcept {
    if (!points)
        return E_POINTER;
    *points = nullptr;
    CComObject<CEnumConnectionPoints>* e = nullptr;
    HRESULT hr = CComObject<CEnumConnectionPoints>::CreateInstance(&e);
    if (FAILED(hr))
        return hr;
    e->AddRef();
    hr = CallNoThrow([&] {
        for (const ConnectionPointEntry* entry = map; entry->iid; ++entry)
            e->m_points.emplace_back(&entry->get(object));
        return S_OK;
    });
    if (SUCCEEDED(hr))
        hr = e->QueryInterface(IID_IEnumConnectionPoints, reinterpret_cast<void**>(points));
    e->Release();
    return hr;
}

} // namespace ATL
