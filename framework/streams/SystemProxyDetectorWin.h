#pragma once
// The current user's proxy settings from the registry, where Internet Explorer
// and WinINet keep them (Windows only).

#include "SystemProxyDetector.h"

namespace FW {

class SystemProxyDetectorWin : public SystemProxyDetector {
protected:
    // Read on every call: the user may change them at any time.
    ProxyConfig readConfig() const override;
};

} // namespace FW
