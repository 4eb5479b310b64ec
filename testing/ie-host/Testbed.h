#pragma once
// window.testbed: what test pages use to drive the camera simulator and to
// look at what the host shows, as the NPAPI test browser offers it:
//
//   testbed.journal()                  [{kind, instance, slot, name, args, hr, result}]
//   testbed.raiseEvent(text, type, subtype)   every simulator raises OnCtrlEvent
//   testbed.failNextCall(slot, hr)     the next call of a slot fails
//   testbed.windows(element)           [{className, width, height, visible}]
//   testbed.pixel(x, y)                0xRRGGBB of the host window's client area
//   testbed.click(x, y)                a mouse press there
//   testbed.deactivate(element), testbed.activate(element)
//                                      in-place deactivation and activation
//   testbed.siteCalls(element)         what the host did with its control, in order
//   testbed.movePage(url)              the page claims url from now on; its elements stay

#include <windows.h>

#include "HostObjects.h"

namespace IeHost {

class Testbed : public ScriptObject {
public:
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
};

} // namespace IeHost
