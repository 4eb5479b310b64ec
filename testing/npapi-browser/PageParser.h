#pragma once
// The small HTML subset of the test pages, read leniently: plug-in elements
// with their parameters, scripts and the body's onload, in document order.

#include <string>
#include <utility>
#include <vector>

namespace npbrowser {

using Attributes = std::vector<std::pair<std::string, std::string>>;

struct PageItem {
    enum class Kind { Element, Script };
    Kind kind = Kind::Element;
    std::string tag; // "object" or "embed"
    Attributes attributes;
    Attributes params; // <param name value> children of an <object>
    std::string code;  // inline script
    std::string src;   // script file
};

struct ParsedPage {
    std::vector<PageItem> items;
    std::string bodyOnload;
};

ParsedPage parsePage(const std::string& html);

} // namespace npbrowser
