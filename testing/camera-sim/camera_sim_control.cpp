#include "camera_sim_control.h"

#include "DcPicture.h"
#include "Png.h"
#include "journal_writer.h"

#include <string_view>
#include <vector>

using namespace ATL;

namespace CameraSim {

namespace {

// The simulator's event point as a client sees it, except that Advise is refused.
class RefusingConnectionPoint final : public IConnectionPoint {
public:
    explicit RefusingConnectionPoint(IConnectionPoint* point) : point_(point) {}
    virtual ~RefusingConnectionPoint() = default;

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (!InlineIsEqualGUID(iid, IID_IUnknown) &&
            !InlineIsEqualGUID(iid, IID_IConnectionPoint)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&refs_); }
    STDMETHOD_(ULONG, Release)() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHOD(GetConnectionInterface)(IID* iid) override {
        return point_->GetConnectionInterface(iid);
    }
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** container) override {
        return point_->GetConnectionPointContainer(container);
    }
    STDMETHOD(Advise)(IUnknown*, DWORD* cookie) override {
        if (cookie)
            *cookie = 0;
        return CONNECT_E_ADVISELIMIT;
    }
    STDMETHOD(Unadvise)(DWORD cookie) override { return point_->Unadvise(cookie); }
    STDMETHOD(EnumConnections)(IEnumConnections** connections) override {
        return point_->EnumConnections(connections);
    }

private:
    CComPtr<IConnectionPoint> point_;
    LONG refs_ = 1;
};

} // namespace

HRESULT CameraSimControl::FinalConstruct() {
    if (takeCameraFault(kFaultCreate)) {
        journalLife(L"creation-refused");
        return kRefusedCreation;
    }
    refuseCameraQuery_ = takeCameraFault(kFaultQuery).has_value();
    return S_OK;
}

HRESULT CameraSimControl::queryCamera(void* object, REFIID, void** ppv, DWORD_PTR) {
    auto* self = static_cast<CameraSimControl*>(object);
    if (self->refuseCameraQuery_) {
        self->journalLife(L"interface-refused");
        return E_NOINTERFACE;
    }
    IMorvathCtrl* camera = self;
    camera->AddRef();
    *ppv = camera;
    return S_OK;
}

STDMETHODIMP CameraSimControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    const HRESULT hr =
        IConnectionPointContainerImpl<CameraSimControl>::FindConnectionPoint(iid, point);
    if (FAILED(hr) || !InlineIsEqualGUID(iid, DIID__IMorvathCtrlEvents))
        return hr;
    return CallNoThrow([&] {
        if (takeCameraFault(kFaultAdvise)) {
            journalLife(L"advise-refused");
            IConnectionPoint* real = *point;
            *point = new RefusingConnectionPoint(real);
            real->Release();
        }
        return S_OK;
    });
}

long CameraSimControl::connectedSinks() {
    return static_cast<long>(ConnectionPoint().SinkCount());
}

std::vector<HRESULT> CameraSimControl::fireEvent(const QueuedEvent& event) {
    std::vector<HRESULT> answers;
    CallNoThrow([&] {
        // rgvarg holds the arguments last to first; the BSTR stays owned by text.
        CComBSTR text(std::wstring_view(event.event.text));
        VARIANT args[3];
        for (VARIANT& arg : args)
            VariantInit(&arg);
        DISPPARAMS params{nullptr, nullptr, 0, 0};
        if (event.dispid == 1) {
            args[2].vt = VT_BSTR;
            args[2].bstrVal = text;
            args[1].vt = VT_I4;
            args[1].lVal = event.event.type;
            args[0].vt = VT_I4;
            args[0].lVal = event.event.subtype;
            params.rgvarg = args;
            params.cArgs = 3;
        }
        const std::vector<CComPtr<IUnknown>> sinks = ConnectionPoint().Sinks();
        answers.reserve(sinks.size());
        for (const CComPtr<IUnknown>& sink : sinks) {
            CComQIPtr<IDispatch> dispatch(sink.p);
            answers.push_back(dispatch ? dispatch->Invoke(event.dispid, IID_NULL,
                                                          LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                                          &params, nullptr, nullptr, nullptr)
                                       : E_NOINTERFACE);
        }
        return S_OK;
    });
    return answers;
}

namespace {
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMilliseconds = 100;
} // namespace

void CameraSimControl::stateChanged() {
    updateFrameTimer();
    FireViewChange();
}

bool CameraSimControl::writePicture(const std::wstring& path) {
    RECT client{};
    if (!m_hWnd || !::GetClientRect(m_hWnd, &client) || client.right <= 0 || client.bottom <= 0)
        return false;
    const std::vector<uint8_t> rgb = testpng::renderRgb(
        nullptr, client.right, client.bottom, [&](HDC dc) { paintView(dc, client, viewState()); });
    return !rgb.empty() && testpng::writePng(path, static_cast<uint32_t>(client.right),
                                             static_cast<uint32_t>(client.bottom), rgb);
}

void CameraSimControl::updateFrameTimer() {
    const bool wanted = model().live() && m_hWnd && !fast();
    if (wanted && !frameTimer_)
        frameTimer_ = SetTimer(m_hWnd, kFrameTimer, kFrameMilliseconds, nullptr) != 0;
    else if (!wanted && frameTimer_) {
        if (m_hWnd)
            KillTimer(m_hWnd, kFrameTimer);
        frameTimer_ = false;
    }
}

LRESULT CameraSimControl::OnTimer(UINT, WPARAM id, LPARAM, BOOL& handled) {
    if (id != kFrameTimer) {
        handled = FALSE;
        return 0;
    }
    advanceFrame();
    updateFrameTimer();
    FireViewChange();
    return 0;
}

HRESULT CameraSimControl::OnDraw(ATL_DRAWINFO& info) {
    if (!info.hdcDraw || !info.prcBounds)
        return E_INVALIDARG;
    const RECT bounds{info.prcBounds->left, info.prcBounds->top, info.prcBounds->right,
                      info.prcBounds->bottom};
    if (fast()) {
        // No live picture: one plain fill.
        FillRect(info.hdcDraw, &bounds, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        return S_OK;
    }
    return CallNoThrow([&] {
        paintView(info.hdcDraw, bounds, viewState());
        return S_OK;
    });
}

HRESULT CameraSimControl::InPlaceActivate(LONG verb, const RECT* pos) {
    const bool wasActive = m_bInPlaceActive;
    const HRESULT hr = CComControl<CameraSimControl>::InPlaceActivate(verb, pos);
    if (SUCCEEDED(hr) && !wasActive && m_bInPlaceActive)
        journalLife(L"activated");
    updateFrameTimer();
    return hr;
}

HRESULT CameraSimControl::IOleInPlaceObject_InPlaceDeactivate() {
    const bool wasActive = m_bInPlaceActive;
    // The timer dies with the window.
    frameTimer_ = false;
    const HRESULT hr = CComControl<CameraSimControl>::IOleInPlaceObject_InPlaceDeactivate();
    if (wasActive && !m_bInPlaceActive)
        journalLife(L"deactivated");
    return hr;
}

void CameraSimControl::raisePending() {
    // A sink may drop the last outside reference while it runs.
    CComPtr<IUnknown> self(GetUnknown());
    raiseQueuedEvents();
}

STDMETHODIMP CameraSimControl::RaiseEvent(BSTR strText, LONG nType, LONG nSubType, LONG* nSinks) {
    if (!nSinks)
        return E_POINTER;
    return CallNoThrow([&] {
        CComPtr<IUnknown> self(GetUnknown());
        *nSinks = raiseEvent(QueuedEvent{1, SimEvent{text(strText), nType, nSubType}});
        return S_OK;
    });
}

STDMETHODIMP CameraSimControl::RaiseForeignEvent(LONG nDispId, LONG* nSinks) {
    if (!nSinks)
        return E_POINTER;
    return CallNoThrow([&] {
        CComPtr<IUnknown> self(GetUnknown());
        *nSinks = raiseEvent(QueuedEvent{nDispId, SimEvent{}});
        return S_OK;
    });
}

STDMETHODIMP CameraSimControl::FailNextCall(LONG nSlot, LONG hrFailure) {
    if (nSlot < kFirstSlot || nSlot > kLastSlot)
        return E_INVALIDARG;
    return CallNoThrow([&] {
        failNextCall(nSlot, static_cast<HRESULT>(hrFailure));
        return S_OK;
    });
}

STDMETHODIMP CameraSimControl::get_CallCount(LONG* nCount) {
    if (!nCount)
        return E_POINTER;
    *nCount = calls();
    return S_OK;
}

STDMETHODIMP CameraSimControl::get_InstanceId(LONG* nId) {
    if (!nId)
        return E_POINTER;
    *nId = instance();
    return S_OK;
}

STDMETHODIMP CameraSimControl::get_SinkCount(LONG* nCount) {
    if (!nCount)
        return E_POINTER;
    *nCount = connectedSinks();
    return S_OK;
}

STDMETHODIMP CameraSimControl::get_StatusText(BSTR* strText) {
    if (!strText)
        return E_POINTER;
    *strText = nullptr;
    return CallNoThrow([&] {
        ViewState state = viewState();
        std::wstring status =
            (state.address.empty() ? L"not initialised" : state.address) + L"; " + stateWord(state);
        *strText = CComBSTR(status).Detach();
        return S_OK;
    });
}

OBJECT_ENTRY_AUTO(CLSID_MorvathCtrl, CameraSimControl)

} // namespace CameraSim
