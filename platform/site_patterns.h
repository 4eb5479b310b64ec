#pragma once
// The sites an administrator lets drive the camera: origin patterns such as
// "http://192.168.1.64", "https://*.example.com", "https://cams.example.com:8443"
// or "file://", and the page addresses they are matched against. Free of
// Windows headers, so the native build can exercise it too.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvelaSites {

// A page's origin: scheme and host in lower case and the port, with a
// scheme's default port filled in. Local pages ("file:") carry no host and port.
struct Origin {
    std::string scheme;
    std::string host;
    int port = 0;

    // "http://cams.example.com", "https://cams.example.com:8443", "file://".
    std::string text() const;
};

// The origin of a page address ("http://Cams.Example.com/view.html"), or none
// when the address has no host of the kinds a site lock can name (an empty
// address, "about:blank", an unknown scheme, a malformed authority).
std::optional<Origin> originOf(std::string_view address);

struct Pattern {
    std::string scheme;
    std::string host;        // without the "*." of a wildcard
    bool subdomains = false; // "*.": any host below host, not host itself
    int port = 0;

    bool matches(const Origin& origin) const;
};

// An entry of the list as a pattern; none when the entry is not one.
std::optional<Pattern> parsePattern(std::string_view entry);

class AllowList {
public:
    // An entry may hold several patterns separated by ';' (as the installer
    // writes them). The entries that are not patterns are left out and
    // handed to invalid.
    static AllowList fromEntries(const std::vector<std::string>& entries,
                                 std::vector<std::string>* invalid = nullptr);

    bool allows(std::string_view address) const;
    bool empty() const { return m_patterns.empty(); }

private:
    std::vector<Pattern> m_patterns;
};

// How a refused page is named in the error it gets: its origin, or the
// address itself when it has none ("null" for an empty one).
std::string describePage(std::string_view address);

// The error a refused page gets from every camera member.
std::string refusalMessage(std::string_view address);

} // namespace orvelaSites
