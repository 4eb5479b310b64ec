#pragma once
// The parts of a URL that proxy selection needs: scheme, host and port.

#include <optional>
#include <string>

namespace FW {

struct UrlParts {
    std::string scheme; // lower case
    std::string host;   // lower case, IPv6 without its brackets
    int port = 0;       // the scheme's default when the URL names none; 0 when unknown
};

// Empty when the text has no "scheme://host" form or its port is not a number
// from 1 to 65535.
std::optional<UrlParts> parseUrl(const std::string& url);

// The usual port of a scheme, 0 for one without a usual port.
int defaultPort(const std::string& scheme);

// Schemes, host names and proxy list keywords compare without case.
std::string lowered(std::string text);

} // namespace FW
