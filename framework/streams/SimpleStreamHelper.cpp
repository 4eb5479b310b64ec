#include "SimpleStreamHelper.h"

#include <cstring>

#include "BrowserHost.h"
#include "GeneralEvents.h"
#include "StreamEvents.h"

namespace FW {

SimpleStreamHelper::SimpleStreamHelper(HttpCallback callback) : m_callback(std::move(callback)) {}

BrowserStreamPtr SimpleStreamHelper::AsyncGet(const std::shared_ptr<BrowserHost>& host,
                                              const std::string& url, HttpCallback callback,
                                              bool cache, size_t bufferSize) {
    BrowserStreamRequest request(url, "GET");
    request.cache = cache;
    request.bufferSize = static_cast<uint32_t>(bufferSize);
    request.setCallback(std::move(callback));
    return AsyncRequest(host, std::move(request));
}

BrowserStreamPtr SimpleStreamHelper::AsyncPost(const std::shared_ptr<BrowserHost>& host,
                                               const std::string& url, const std::string& postdata,
                                               HttpCallback callback) {
    BrowserStreamRequest request(url, "POST");
    request.setPostData(postdata);
    request.setCallback(std::move(callback));
    return AsyncRequest(host, std::move(request));
}

BrowserStreamPtr SimpleStreamHelper::AsyncRequest(const std::shared_ptr<BrowserHost>& host,
                                                  BrowserStreamRequest request) {
    HttpCallback callback = std::move(request.callback);
    request.callback = nullptr;
    auto helper = std::make_shared<SimpleStreamHelper>(callback);
    request.setEventSink(helper);
    BrowserStreamPtr stream = host ? host->createStreamFromRequest(request) : nullptr;
    if (!stream && !helper->m_called) {
        helper->m_called = true;
        if (callback)
            callback(false, HeaderMap(), nullptr, 0);
    }
    return stream;
}

bool SimpleStreamHelper::HandleEvent(PluginEvent* evt, PluginEventSource* src) {
    auto* stream = dynamic_cast<BrowserStream*>(src);
    if (stream == nullptr)
        return false;
    if (dynamic_cast<AttachedEvent*>(evt) != nullptr) {
        m_self = std::static_pointer_cast<SimpleStreamHelper>(shared_from_this());
        return false;
    }
    if (auto* data = dynamic_cast<StreamDataArrivedEvent*>(evt)) {
        if (data->length == 0)
            return false;
        const size_t end = data->offset + data->length;
        if (end > m_data.size())
            m_data.resize(end);
        std::memcpy(m_data.data() + data->offset, data->data, data->length);
        return false;
    }
    if (dynamic_cast<StreamFailedOpenEvent*>(evt) != nullptr) {
        finish(false, stream);
        return false;
    }
    if (auto* completed = dynamic_cast<StreamCompletedEvent*>(evt)) {
        finish(completed->success, stream);
        return false;
    }
    return false;
}

void SimpleStreamHelper::finish(bool success, BrowserStream* stream) {
    if (m_called)
        return;
    m_called = true;
    // The helper may go with the last reference below: keep it to the end.
    std::shared_ptr<SimpleStreamHelper> keep = std::move(m_self);
    std::vector<uint8_t> data;
    data.swap(m_data);
    if (m_callback) {
        HttpCallback callback = std::move(m_callback);
        callback(success, parseHeaders(stream->getHeaders()), data.empty() ? nullptr : data.data(),
                 data.size());
    }
    stream->DetachObserver(this);
}

} // namespace FW
