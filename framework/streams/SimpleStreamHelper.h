#pragma once
// Collects a whole download (or the answer to a post) and calls back once with
// the bytes, or with the failure. Pieces are placed at their offsets, so range
// reads of a seekable stream fill in their part of the body.

#include <cstdint>
#include <memory>
#include <vector>

#include "BrowserStream.h"
#include "BrowserStreamRequest.h"
#include "PluginEventSink.h"

namespace FW {

class BrowserHost;

class SimpleStreamHelper : public PluginEventSink {
public:
    explicit SimpleStreamHelper(HttpCallback callback);

    // Starts the request on the host; the callback is told of a stream the host
    // could not make as a failure, at once.
    static BrowserStreamPtr AsyncGet(const std::shared_ptr<BrowserHost>& host,
                                     const std::string& url, HttpCallback callback,
                                     bool cache = false, size_t bufferSize = 128 * 1024);
    static BrowserStreamPtr AsyncPost(const std::shared_ptr<BrowserHost>& host,
                                      const std::string& url, const std::string& postdata,
                                      HttpCallback callback);
    static BrowserStreamPtr AsyncRequest(const std::shared_ptr<BrowserHost>& host,
                                         BrowserStreamRequest request);

    bool HandleEvent(PluginEvent* evt, PluginEventSource* src) override;
    bool called() const { return m_called; }

private:
    void finish(bool success, BrowserStream* stream);

    HttpCallback m_callback;
    std::vector<uint8_t> m_data;
    bool m_called = false;
    // Held while attached to a stream: nobody else keeps a helper.
    std::shared_ptr<SimpleStreamHelper> m_self;
};

} // namespace FW
