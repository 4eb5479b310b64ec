#include "camera_sim_control.h"

#include <string_view>

using namespace ATL;

namespace CameraSim {

long CameraSimControl::connectedSinks() {
    return static_cast<long>(ConnectionPoint().SinkCount());
}

void CameraSimControl::fireEvent(const QueuedEvent& event) {
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
        for (const CComPtr<IUnknown>& sink : ConnectionPoint().Sinks()) {
            CComQIPtr<IDispatch> dispatch(sink.p);
            if (dispatch)
                dispatch->Invoke(event.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                 &params, nullptr, nullptr, nullptr);
        }
        return S_OK;
    });
}

void CameraSimControl::stateChanged() {
    FireViewChange();
}

HRESULT CameraSimControl::OnDraw(ATL_DRAWINFO& info) {
    if (!info.hdcDraw || !info.prcBounds)
        return E_INVALIDARG;
    const RECT bounds{info.prcBounds->left, info.prcBounds->top, info.prcBounds->right,
                      info.prcBounds->bottom};
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
    return hr;
}

HRESULT CameraSimControl::IOleInPlaceObject_InPlaceDeactivate() {
    const bool wasActive = m_bInPlaceActive;
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
