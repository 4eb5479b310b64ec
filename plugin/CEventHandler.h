#pragma once
// The sink for the camera control's event interface. It maps one event,
// OnCtrlEvent (DISPID 1: text, type, subtype), to its owner's
// fire_OnCtrlEvent; every other DISPID is answered S_OK and dropped. The
// parameter description comes from the control's registered type library, or,
// when that cannot describe the event, from a fixed one (BSTR, long, long).
//
// The sink lives inside its owner and is not reference counted. Its owner
// connects it to the control (DispEventAdvise) and disconnects it again.

#include <windows.h>

#include "CameraControl.h"
#include "disp_event.h"

class orvelaAPI;

class CEventHandler
    : public ATL::IDispEventImpl<0, CEventHandler, &orvelaControl::kEventsIid,
                                 &orvelaControl::kTypeLibId, orvelaControl::kTypeLibMajor,
                                 orvelaControl::kTypeLibMinor> {
public:
    static constexpr DWORD kNotConnected = ATL::kNotConnected;

    CEventHandler() noexcept = default;
    CEventHandler(const CEventHandler&) = delete;
    CEventHandler& operator=(const CEventHandler&) = delete;

    BEGIN_SINK_MAP(CEventHandler)
    SINK_ENTRY_FALLBACK(0, orvelaControl::kEventsIid, 1, OnCtrlEvent, &fixedOnCtrlEventInfo())
    END_SINK_MAP()

    virtual HRESULT STDMETHODCALLTYPE OnCtrlEvent(BSTR text, LONG type, LONG subtype);

    // The description used when the type library cannot describe the event.
    static const ATL::_ATL_FUNC_INFO& fixedOnCtrlEventInfo() noexcept;

    orvelaAPI* m_pOwner = nullptr;
};
