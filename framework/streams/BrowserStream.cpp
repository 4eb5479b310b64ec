#include "BrowserStream.h"

#include <algorithm>
#include <cctype>

#include "BrowserStreamRequest.h"
#include "StreamEvents.h"

namespace FW {

BrowserStream::BrowserStream(const std::string& url, bool cache, bool seekable,
                             size_t internalBufferSize)
    : m_url(url), m_seekableRequested(seekable), m_cached(cache),
      m_internalBufferSize(internalBufferSize) {}

BrowserStream::~BrowserStream() {
    try {
        StreamDestroyedEvent evt(this);
        SendEvent(&evt);
    } catch (...) {
        // An observer's failure must not escape a destructor.
    }
}

BrowserStreamPtr BrowserStream::shared_ptr() {
    return shared_from_this();
}

bool BrowserStream::readRange(size_t offset, size_t length) {
    return readRanges(std::vector<Range>{Range(offset, offset + length)});
}

bool BrowserStream::sendStreamEvent(PluginEvent* evt) {
    const BrowserStreamPtr keep = weak_from_this().lock();
    return SendEvent(evt);
}

double BrowserStream::progressAfter(size_t length, size_t offset) const {
    if (m_length == 0)
        return 0.0;
    return static_cast<double>(length + offset) / static_cast<double>(m_length) * 100.0;
}

HeaderMap parseHeaders(const std::string& text) {
    HeaderMap headers;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        size_t value = colon + 1;
        while (value < line.size() && (line[value] == ' ' || line[value] == '\t'))
            ++value;
        headers.emplace(line.substr(0, colon), line.substr(value));
    }
    return headers;
}

bool BrowserStreamRequest::hasPostHeader(const std::string& name) const {
    for (const auto& header : parseHeaders(postheaders)) {
        if (header.first.size() == name.size() &&
            std::equal(name.begin(), name.end(), header.first.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return true;
    }
    return false;
}

} // namespace FW
