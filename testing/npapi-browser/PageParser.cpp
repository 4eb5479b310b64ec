#include "PageParser.h"

#include <cctype>

namespace npbrowser {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Tag {
    std::string name; // lower case, "/name" for an end tag
    Attributes attributes;
};

// Reads the tag that starts at html[pos] == '<'; pos ends after its '>'.
Tag readTag(const std::string& html, size_t& pos) {
    Tag tag;
    size_t i = pos + 1;
    auto skipSpace = [&] {
        while (i < html.size() && std::isspace(static_cast<unsigned char>(html[i])))
            ++i;
    };
    size_t start = i;
    while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
           html[i] != '>' && !(html[i] == '/' && i > start))
        ++i;
    tag.name = lower(html.substr(start, i - start));
    for (;;) {
        skipSpace();
        if (i >= html.size() || html[i] == '>')
            break;
        if (html[i] == '/') {
            ++i;
            continue;
        }
        start = i;
        while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
               html[i] != '=' && html[i] != '>' && html[i] != '/')
            ++i;
        std::string name = lower(html.substr(start, i - start));
        skipSpace();
        std::string value;
        if (i < html.size() && html[i] == '=') {
            ++i;
            skipSpace();
            if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                const char quote = html[i++];
                start = i;
                while (i < html.size() && html[i] != quote)
                    ++i;
                value = html.substr(start, i - start);
                if (i < html.size())
                    ++i;
            } else {
                start = i;
                while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
                       html[i] != '>')
                    ++i;
                value = html.substr(start, i - start);
            }
        }
        if (!name.empty())
            tag.attributes.emplace_back(name, value);
    }
    pos = i < html.size() ? i + 1 : i;
    return tag;
}

std::string attribute(const Attributes& attributes, const char* name) {
    for (const auto& entry : attributes) {
        if (entry.first == name)
            return entry.second;
    }
    return std::string();
}

} // namespace

ParsedPage parsePage(const std::string& html) {
    ParsedPage page;
    PageItem* object = nullptr; // the <object> whose <param>s are being read
    size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string::npos) {
        if (html.compare(pos, 4, "<!--") == 0) {
            const size_t end = html.find("-->", pos + 4);
            pos = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        Tag tag = readTag(html, pos);
        if (tag.name == "script") {
            const std::string rest = lower(html.substr(pos));
            const size_t end = rest.find("</script");
            PageItem item;
            item.kind = PageItem::Kind::Script;
            item.src = attribute(tag.attributes, "src");
            item.code = html.substr(pos, end == std::string::npos ? std::string::npos : end);
            page.items.push_back(item);
            object = nullptr;
            if (end == std::string::npos)
                break;
            pos += end;
            pos = html.find('>', pos);
            if (pos == std::string::npos)
                break;
            ++pos;
        } else if (tag.name == "object" || tag.name == "embed") {
            PageItem item;
            item.tag = tag.name;
            item.attributes = tag.attributes;
            page.items.push_back(item);
            object = tag.name == "object" ? &page.items.back() : nullptr;
        } else if (tag.name == "param" && object != nullptr) {
            object->params.emplace_back(attribute(tag.attributes, "name"),
                                        attribute(tag.attributes, "value"));
        } else if (tag.name == "/object") {
            object = nullptr;
        } else if (tag.name == "body") {
            page.bodyOnload = attribute(tag.attributes, "onload");
        }
    }
    return page;
}

} // namespace npbrowser
