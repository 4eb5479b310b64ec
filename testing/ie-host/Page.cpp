#include "Page.h"

#include <windows.h>

#include <cwctype>

#include "files.h"

namespace IeHost {

namespace {

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring readFile(const std::wstring& path, bool& ok) {
    std::string bytes;
    ok = readWholeFile(path, bytes);
    return utf8ToWide(bytes);
}

// Parses the attributes of a tag, from after its name to its closing '>'.
std::map<std::wstring, std::wstring> parseAttributes(const std::wstring& tag) {
    std::map<std::wstring, std::wstring> attributes;
    size_t i = 0;
    while (i < tag.size()) {
        while (i < tag.size() && (std::iswspace(tag[i]) || tag[i] == L'/'))
            ++i;
        const size_t nameStart = i;
        while (i < tag.size() && !std::iswspace(tag[i]) && tag[i] != L'=' && tag[i] != L'/')
            ++i;
        if (i == nameStart)
            break;
        const std::wstring name = lower(tag.substr(nameStart, i - nameStart));
        while (i < tag.size() && std::iswspace(tag[i]))
            ++i;
        std::wstring value;
        if (i < tag.size() && tag[i] == L'=') {
            ++i;
            while (i < tag.size() && std::iswspace(tag[i]))
                ++i;
            if (i < tag.size() && (tag[i] == L'"' || tag[i] == L'\'')) {
                const wchar_t quote = tag[i++];
                const size_t end = tag.find(quote, i);
                value = tag.substr(i, end == std::wstring::npos ? std::wstring::npos : end - i);
                i = end == std::wstring::npos ? tag.size() : end + 1;
            } else {
                const size_t start = i;
                while (i < tag.size() && !std::iswspace(tag[i]))
                    ++i;
                value = tag.substr(start, i - start);
            }
        }
        attributes[name] = value;
    }
    return attributes;
}

} // namespace

std::wstring utf8ToWide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string wideToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string narrow(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n,
                        nullptr, nullptr);
    return narrow;
}

void parsePage(const std::wstring& html, Page& page) {
    const std::wstring lowered = lower(html);
    size_t pos = 0;
    PageItem* openObject = nullptr;
    while ((pos = lowered.find(L'<', pos)) != std::wstring::npos) {
        if (lowered.compare(pos, 4, L"<!--") == 0) {
            const size_t end = lowered.find(L"-->", pos);
            pos = end == std::wstring::npos ? lowered.size() : end + 3;
            continue;
        }
        const size_t close = lowered.find(L'>', pos);
        if (close == std::wstring::npos)
            break;
        size_t nameEnd = pos + 1;
        while (nameEnd < close && !std::iswspace(lowered[nameEnd]) && lowered[nameEnd] != L'>' &&
               lowered[nameEnd] != L'/')
            ++nameEnd;
        const std::wstring name = lowered.substr(pos + 1, nameEnd - pos - 1);
        const std::wstring attributeText = html.substr(nameEnd, close - nameEnd);
        pos = close + 1;
        if (name == L"object") {
            PageItem item{PageItem::Kind::object, parseAttributes(attributeText), {}, {}};
            page.items.push_back(item);
            openObject = &page.items.back();
        } else if (name == L"/object") {
            openObject = nullptr;
        } else if (name == L"param" && openObject) {
            auto attributes = parseAttributes(attributeText);
            openObject->params.emplace_back(attributes[L"name"], attributes[L"value"]);
        } else if (name == L"script") {
            PageItem item{PageItem::Kind::script, parseAttributes(attributeText), {}, {}};
            const size_t end = lowered.find(L"</script", pos);
            item.text =
                html.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
            pos = end == std::wstring::npos ? lowered.size() : lowered.find(L'>', end) + 1;
            auto src = item.attributes.find(L"src");
            if (src != item.attributes.end()) {
                bool ok = false;
                const std::wstring path = (src->second.size() > 1 && src->second[1] == L':')
                                              ? src->second
                                              : page.folder + src->second;
                item.text = readFile(path, ok);
            }
            page.items.push_back(item);
            openObject = nullptr;
        } else if (name == L"body") {
            auto attributes = parseAttributes(attributeText);
            page.bodyOnload = attributes[L"onload"];
        }
    }
}

bool readPage(const std::wstring& path, Page& page, std::wstring& error) {
    bool ok = false;
    const std::wstring html = readFile(path, ok);
    if (!ok) {
        error = L"cannot read " + path;
        return false;
    }
    const size_t slash = path.find_last_of(L"\\/");
    page.folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    parsePage(html, page);
    return true;
}

} // namespace IeHost
