#include "site_patterns.h"

namespace orvelaSites {
namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = lowerAscii(c);
    return result;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f');
}

int defaultPort(const std::string& scheme) {
    return scheme == "https" ? 443 : 80;
}

// "http:" or "https:" followed by "//", lower-cased; what follows in rest.
std::optional<std::string> webScheme(std::string_view text, std::string_view& rest) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string scheme = lowered(text.substr(0, colon));
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    rest = text.substr(colon + 1);
    if (rest.substr(0, 2) != "//")
        return std::nullopt;
    rest.remove_prefix(2);
    return scheme;
}

bool isFileScheme(std::string_view text) {
    return text.size() >= 5 && lowered(text.substr(0, 5)) == "file:";
}

// A lower-cased host name (dot-separated labels of letters, digits, '-' and
// '_') or a bracketed IPv6 address. Anything else (an empty label, a
// percent escape, a character outside ASCII) is none: such a page is refused
// and such an entry ignored, rather than guessed at.
bool validHost(const std::string& host) {
    if (host.empty())
        return false;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            const char c = host[i];
            if (!isHex(c) && c != ':' && c != '.')
                return false;
        }
        return true;
    }
    size_t labelLength = 0;
    for (char c : host) {
        if (c == '.') {
            if (labelLength == 0)
                return false;
            labelLength = 0;
        } else if ((c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_') {
            ++labelLength;
        } else {
            return false;
        }
    }
    return labelLength > 0;
}

// Splits "host[:port]" (the host possibly bracketed); an empty port is the
// scheme's default. False when the port is not a number from 1 to 65535.
bool splitHostPort(std::string_view authority, const std::string& scheme, std::string& host,
                   int& port) {
    size_t hostEnd = 0;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        hostEnd = close + 1;
    } else {
        hostEnd = authority.find(':');
        if (hostEnd == std::string_view::npos)
            hostEnd = authority.size();
    }
    host = lowered(authority.substr(0, hostEnd));
    std::string_view portText = authority.substr(hostEnd);
    port = defaultPort(scheme);
    if (portText.empty())
        return true;
    if (portText.front() != ':')
        return false;
    portText.remove_prefix(1);
    if (portText.empty())
        return true;
    if (portText.size() > 5)
        return false;
    long value = 0;
    for (char c : portText) {
        if (!isDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string Origin::text() const {
    if (scheme == "file")
        return "file://";
    std::string result = scheme + "://" + host;
    if (port != defaultPort(scheme))
        result += ":" + std::to_string(port);
    return result;
}

std::optional<Origin> originOf(std::string_view address) {
    if (isFileScheme(address))
        return Origin{"file", std::string(), 0};
    std::string_view rest;
    std::optional<std::string> scheme = webScheme(address, rest);
    if (!scheme)
        return std::nullopt;
    // The authority ends where the path, query or fragment begins; a
    // backslash begins the path as browsers read web addresses.
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    Origin origin;
    origin.scheme = *scheme;
    if (!splitHostPort(authority, origin.scheme, origin.host, origin.port) ||
        !validHost(origin.host))
        return std::nullopt;
    return origin;
}

bool Pattern::matches(const Origin& origin) const {
    if (origin.scheme != scheme)
        return false;
    if (scheme == "file")
        return true;
    if (origin.port != port)
        return false;
    if (!subdomains)
        return origin.host == host;
    return origin.host.size() > host.size() + 1 &&
           origin.host.compare(origin.host.size() - host.size(), host.size(), host) == 0 &&
           origin.host[origin.host.size() - host.size() - 1] == '.';
}

std::optional<Pattern> parsePattern(std::string_view entry) {
    entry = trimmed(entry);
    const std::string whole = lowered(entry);
    if (whole == "file://" || whole == "file:///")
        return Pattern{"file", std::string(), false, 0};
    std::string_view rest;
    std::optional<std::string> scheme = webScheme(entry, rest);
    if (!scheme)
        return std::nullopt;
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    if (rest.find_first_of("/?#\\@") != std::string_view::npos)
        return std::nullopt;
    Pattern pattern;
    pattern.scheme = *scheme;
    if (rest.substr(0, 2) == "*.") {
        pattern.subdomains = true;
        rest.remove_prefix(2);
    }
    if (!splitHostPort(rest, pattern.scheme, pattern.host, pattern.port) ||
        !validHost(pattern.host))
        return std::nullopt;
    return pattern;
}

AllowList AllowList::fromEntries(const std::vector<std::string>& entries,
                                 std::vector<std::string>* invalid) {
    AllowList list;
    for (const std::string& entry : entries) {
        std::string_view rest(entry);
        while (true) {
            const size_t end = rest.find(';');
            const std::string_view piece = trimmed(rest.substr(0, end));
            if (!piece.empty() || entry.empty()) {
                if (std::optional<Pattern> pattern = parsePattern(piece))
                    list.m_patterns.push_back(std::move(*pattern));
                else if (invalid)
                    invalid->push_back(std::string(piece));
            }
            if (end == std::string_view::npos)
                break;
            rest.remove_prefix(end + 1);
        }
    }
    return list;
}

bool AllowList::allows(std::string_view address) const {
    const std::optional<Origin> origin = originOf(address);
    if (!origin)
        return false;
    for (const Pattern& pattern : m_patterns) {
        if (pattern.matches(*origin))
            return true;
    }
    return false;
}

std::string describePage(std::string_view address) {
    if (std::optional<Origin> origin = originOf(address))
        return origin->text();
    return address.empty() ? std::string("null") : std::string(address);
}

std::string refusalMessage(std::string_view address) {
    return "This page is not allowed to use the camera: " + describePage(address);
}

} // namespace orvelaSites
