// The plug-in's ActiveX face also answers a class identifier of its own, so
// that a page can hold it next to nporvela (whose class it otherwise serves
// in place of nporvela's library).
#include "FWControl.h"

// {509D785C-DD6B-4D6F-A168-796E55CD2FD0}
const CLSID CLSID_WindowlessTestControl = {
    0x509d785c, 0xdd6b, 0x4d6f, {0xa1, 0x68, 0x79, 0x6e, 0x55, 0xcd, 0x2f, 0xd0}};

using CWindowlessTestControl = FW::ActiveX::CFWControl;
OBJECT_ENTRY_AUTO(CLSID_WindowlessTestControl, CWindowlessTestControl)
