#pragma once
// What a plug-in asks a browser host to fetch or post; the host turns it into a
// browser stream. The answer reaches either the completion callback (through a
// SimpleStreamHelper collecting the whole body) or the sink, which observes the
// stream itself.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "PluginEventSink.h"

namespace FW {

class BrowserStream;

using HeaderMap = std::multimap<std::string, std::string>;
// success, response headers, the body (nullptr when empty), its length.
using HttpCallback =
    std::function<void(bool success, const HeaderMap& headers, const uint8_t* data, size_t size)>;

class BrowserStreamRequest {
public:
    explicit BrowserStreamRequest(std::string uri, std::string method = "GET")
        : uri(std::move(uri)), method(std::move(method)) {}

    void setPostData(std::string data, std::string headers = std::string()) {
        postdata = std::move(data);
        postheaders = std::move(headers);
        if (method == "GET")
            method = "POST";
    }
    void setCallback(HttpCallback callback) { this->callback = std::move(callback); }
    void setEventSink(const PluginEventSinkPtr& sink) { this->sink = sink; }
    bool hasCallback() const { return static_cast<bool>(callback); }
    bool hasSink() const { return static_cast<bool>(sink); }
    // Whether postheaders has a line of that name, in any letter case.
    bool hasPostHeader(const std::string& name) const;

    std::string uri;
    std::string method;
    // Extra request header lines ("Name: value\n" each), sent before the body.
    std::string postheaders;
    std::string postdata;
    // Response headers known when the request is made (unsolicited streams).
    std::string headers;
    uint32_t lastModified = 0;
    bool seekable = false;
    bool cache = false;
    uint32_t bufferSize = 128 * 1024;
    HttpCallback callback;
    PluginEventSinkPtr sink;
};

// Splits "Name: value" lines (CR LF or LF) into a map; a status line or a line
// without a colon is skipped.
HeaderMap parseHeaders(const std::string& text);

} // namespace FW
