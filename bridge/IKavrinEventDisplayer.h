#pragma once
// What the camera control's event sink reports to: the bridge control.

#include <windows.h>

class IKavrinEventDisplayer {
public:
    // Passes one camera event on to the page; always answers 0.
    virtual LONG DisplayCtrlEvent(BSTR text, LONG type, LONG subType) = 0;

protected:
    ~IKavrinEventDisplayer() = default;
};
