#include "SystemProxyDetector.h"

#include <cctype>
#include <vector>

#include "UrlParts.h"

#ifdef _WIN32
#include "SystemProxyDetectorWin.h"
#endif

namespace FW {

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(";, ", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string item = trimmed(text.substr(pos, end - pos));
        if (!item.empty())
            items.push_back(std::move(item));
        pos = end + 1;
    }
    return items;
}

// '*' matches any run of characters; case is ignored.
bool wildcardMatch(const std::string& pattern, const std::string& text) {
    size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[p])) ==
                                             std::tolower(static_cast<unsigned char>(text[t]))) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.compare(0, 4, "127.") == 0;
}

bool bypassed(const std::string& bypass, const UrlParts& url) {
    for (const std::string& pattern : splitList(bypass)) {
        if (lowered(pattern) == "<local>") {
            if (url.host.find('.') == std::string::npos && url.host.find(':') == std::string::npos)
                return true;
        } else if (wildcardMatch(pattern, url.host) ||
                   wildcardMatch(pattern, url.scheme + "://" + url.host)) {
            return true;
        }
    }
    return false;
}

// The server for the scheme from "scheme=host:port" entries, or the one server
// for every scheme; type is what the answer calls its kind.
std::string serverFor(const std::string& servers, const std::string& scheme, std::string& type) {
    std::string socks;
    std::string common;
    for (const std::string& entry : splitList(servers)) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            common = entry;
            continue;
        }
        const std::string kind = lowered(trimmed(entry.substr(0, equals)));
        const std::string server = trimmed(entry.substr(equals + 1));
        if (kind == scheme && !server.empty()) {
            type = scheme;
            return server;
        }
        if (kind == "socks")
            socks = server;
    }
    if (!common.empty()) {
        type = scheme;
        return common;
    }
    type = "socks";
    return socks;
}

} // namespace

bool chooseProxy(const ProxyConfig& config, const std::string& url,
                 std::map<std::string, std::string>& settings) {
    if (!config.enabled)
        return false;
    const std::optional<UrlParts> target = parseUrl(url);
    if (!target || isLoopback(target->host) || bypassed(config.bypass, *target))
        return false;
    std::string type;
    std::string server = serverFor(config.servers, target->scheme, type);
    const size_t scheme = server.find("://");
    if (scheme != std::string::npos)
        server.erase(0, scheme + 3);
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    const std::optional<UrlParts> proxy = parseUrl("proxy://" + server);
    if (!proxy)
        return false;
    int port = proxy->port;
    if (port == 0)
        port = type == "socks" ? defaultPort("socks") : 80;
    settings["type"] = type;
    settings["hostname"] = proxy->host;
    settings["port"] = std::to_string(port);
    return true;
}

const SystemProxyDetector* SystemProxyDetector::get() {
#ifdef _WIN32
    static const SystemProxyDetectorWin detector;
    return &detector;
#else
    return nullptr;
#endif
}

} // namespace FW
