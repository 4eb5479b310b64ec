#pragma once
#include "module.h"

class CProbeModule : public ATL::CAtlDllModuleT<CProbeModule> {
public:
    DECLARE_REGISTRY_APPID_RESOURCEID(101, L"{11CD1218-5BC3-4E31-BA7C-77D3DA80273B}")
};
