#pragma once
// The proxy the system's settings choose for a URL, in the form the browser
// hosts answer DetectProxySettings with: "type" (the URL's scheme, or "socks"),
// "hostname" and "port".

#include <map>
#include <string>

namespace FW {

// The user's proxy settings as Internet Explorer keeps them.
struct ProxyConfig {
    bool enabled = false;
    // "host:port" for every scheme, or "scheme=host:port" entries split by ';'.
    std::string servers;
    // Hosts reached directly: patterns with '*', split by ';'; "<local>" stands
    // for every name without a dot.
    std::string bypass;
};

// False, leaving settings alone, when the URL goes directly: proxies off, no
// proxy for its scheme, a bypassed host, or a loopback address.
bool chooseProxy(const ProxyConfig& config, const std::string& url,
                 std::map<std::string, std::string>& settings);

class SystemProxyDetector {
public:
    virtual ~SystemProxyDetector() = default;

    bool detectProxy(std::map<std::string, std::string>& settings, const std::string& url) const {
        return chooseProxy(readConfig(), url, settings);
    }

    // The process-wide detector; null on a system whose settings are not read.
    static const SystemProxyDetector* get();

protected:
    virtual ProxyConfig readConfig() const = 0;
};

} // namespace FW
