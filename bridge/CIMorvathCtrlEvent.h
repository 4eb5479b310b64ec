#pragma once
// The sink for the camera control's event interface: OnCtrlEvent (DISPID 1)
// goes to the displayer, every other DISPID is answered S_OK and dropped. The
// event's parameter types come from the camera control's registered type
// library; without it the event is dropped.
//
// Not reference counted: the bridge control owns it, connects it
// (DispEventAdvise) and disconnects it before deleting it. The page function
// an event calls may end the bridge control or its camera (removing the
// element, releasing the control); a sink let go of while it delivers is
// therefore freed only after the camera's call into it has returned.
#include <memory>

#include "IKavrinEventDisplayer.h"
#include "KavrinControl.h"
#include "disp_event.h"

class CIMorvathCtrlEvent
    : public ATL::IDispEventImpl<0, CIMorvathCtrlEvent, &KavrinControl::kEventsIid,
                                 &KavrinControl::kTypeLibId, KavrinControl::kTypeLibMajor,
                                 KavrinControl::kTypeLibMinor> {
public:
    explicit CIMorvathCtrlEvent(IKavrinEventDisplayer* displayer) noexcept
        : m_pDisplayer(displayer) {}
    CIMorvathCtrlEvent(const CIMorvathCtrlEvent&) = delete;
    CIMorvathCtrlEvent& operator=(const CIMorvathCtrlEvent&) = delete;

    BEGIN_SINK_MAP(CIMorvathCtrlEvent)
    SINK_ENTRY_EX(0, KavrinControl::kEventsIid, 1, OnCtrlEvent)
    END_SINK_MAP()

    virtual HRESULT STDMETHODCALLTYPE OnCtrlEvent(BSTR text, LONG type, LONG subType);

    bool IsConnected() const noexcept { return m_dwEventCookie != ATL::kNotConnected; }

    // Deletes the sink, or, while it is delivering an event, stops it calling
    // its displayer and deletes it once the thread's messages run again.
    static void Dispose(std::unique_ptr<CIMorvathCtrlEvent> sink) noexcept;

private:
    IKavrinEventDisplayer* m_pDisplayer;
    int m_delivering = 0;
};
