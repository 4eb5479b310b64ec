#include "UrlParts.h"

#include <cctype>

namespace FW {

namespace {

bool validScheme(const std::string& scheme) {
    if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0])))
        return false;
    for (char c : scheme) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

std::optional<int> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    int port = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

int defaultPort(const std::string& scheme) {
    if (scheme == "http" || scheme == "ws")
        return 80;
    if (scheme == "https" || scheme == "wss")
        return 443;
    if (scheme == "ftp")
        return 21;
    if (scheme == "socks")
        return 1080;
    return 0;
}

std::optional<UrlParts> parseUrl(const std::string& url) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos)
        return std::nullopt;
    UrlParts parts;
    parts.scheme = lowered(url.substr(0, colon));
    if (!validScheme(parts.scheme))
        return std::nullopt;
    const size_t start = colon + 3;
    const size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    std::string portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        parts.host = authority.substr(1, close - 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return std::nullopt;
            hasPort = true;
            portText = rest.substr(1);
        }
    } else {
        const size_t portColon = authority.rfind(':');
        parts.host = authority.substr(0, portColon);
        if (portColon != std::string::npos) {
            hasPort = true;
            portText = authority.substr(portColon + 1);
        }
    }
    if (parts.host.empty())
        return std::nullopt;
    parts.host = lowered(parts.host);
    parts.port = defaultPort(parts.scheme);
    if (hasPort && !portText.empty()) {
        const std::optional<int> port = parsePort(portText);
        if (!port)
            return std::nullopt;
        parts.port = *port;
    }
    return parts;
}

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace FW
