// Origin patterns and page addresses from any text: the first line is a page
// address, the others the list's entries. A page's origin, written out and
// read again, is the same origin and is allowed by a list of just that text;
// the answer does not depend on the case of ASCII letters; a list allows a
// page only when one of its entries, alone, does.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "site_patterns.h"

using fuzzing::check;
using fuzzing::swapAsciiCase;
using orvelaSites::AllowList;
using orvelaSites::originOf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = input.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(input.substr(start, end - start));
    lines.push_back(input.substr(start));
    const std::string address = lines.front();
    const std::vector<std::string> entries(lines.begin() + 1, lines.end());

    if (const auto origin = originOf(address)) {
        const std::string text = origin->text();
        const auto again = originOf(text);
        check(again && again->scheme == origin->scheme && again->host == origin->host &&
              again->port == origin->port && again->text() == text);
        check(AllowList::fromEntries({text}).allows(address));
        check(orvelaSites::describePage(address) == text);
    }

    const bool allowed = AllowList::fromEntries(entries).allows(address);
    check(AllowList::fromEntries(entries).allows(swapAsciiCase(address)) == allowed);
    bool anyAllows = false;
    for (const std::string& entry : entries)
        anyAllows = anyAllows || AllowList::fromEntries({entry}).allows(address);
    check(anyAllows == allowed);
    return 0;
}
