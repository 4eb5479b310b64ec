#pragma once
// The small HTML subset the IE host reads, leniently: <object> elements with
// their <param>s, <script> blocks (inline, src= or for=/event=) and the body's
// onload, in document order.

#include <map>
#include <string>
#include <vector>

namespace IeHost {

struct PageItem {
    enum class Kind { object, script };
    Kind kind;
    // Attribute names in lower case.
    std::map<std::wstring, std::wstring> attributes;
    // <param> name/value pairs of an object, in order.
    std::vector<std::pair<std::wstring, std::wstring>> params;
    // Script text (a src= script is read when the page is read).
    std::wstring text;
};

struct Page {
    std::vector<PageItem> items;
    std::wstring bodyOnload;
    std::wstring folder; // for src= and relative paths
};

// Reads the page file (UTF-8); false with a message when it cannot be read.
bool readPage(const std::wstring& path, Page& page, std::wstring& error);
// Parses page text.
void parsePage(const std::wstring& html, Page& page);

std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);

} // namespace IeHost
