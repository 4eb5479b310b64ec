#include "StreamsPlugin.h"

#include "TestPluginFactory.h"

#include <cstdlib>
#include <cstdio>
#include <iterator>

#include "MethodConverter.h"
#include "PropertyConverter.h"
#include "SimpleStreamHelper.h"
#include "StreamReporter.h"

namespace {

// "offset:length,offset:length"; a malformed pair ends the list.
std::vector<FW::Range> parseRanges(const std::string& text) {
    std::vector<FW::Range> ranges;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            comma = text.size();
        const std::string pair = text.substr(pos, comma - pos);
        const size_t colon = pair.find(':');
        if (colon == std::string::npos)
            break;
        const size_t offset = std::strtoul(pair.c_str(), nullptr, 10);
        const size_t length = std::strtoul(pair.c_str() + colon + 1, nullptr, 10);
        ranges.emplace_back(offset, offset + length);
        pos = comma + 1;
    }
    return ranges;
}

// Hands the whole body to a page function as text.
FW::HttpCallback textCallback(const FW::JSObjectPtr& onDone) {
    return [onDone](bool success, const FW::HeaderMap&, const uint8_t* data, size_t size) {
        const std::string text(reinterpret_cast<const char*>(data), data ? size : 0);
        if (onDone)
            onDone->InvokeAsync(std::string(), FW::VariantList{success, text});
    };
}

} // namespace

StreamsAPI::StreamsAPI(const std::shared_ptr<StreamsPlugin>& plugin) : m_plugin(plugin) {
    registerMethod("download", FW::make_method(this, &StreamsAPI::download));
    registerMethod("readRanges", FW::make_method(this, &StreamsAPI::readRanges));
    registerMethod("postTo", FW::make_method(this, &StreamsAPI::postTo));
    registerMethod("fetchText", FW::make_method(this, &StreamsAPI::fetchText));
    registerMethod("postText", FW::make_method(this, &StreamsAPI::postText));
    registerMethod("closeStream", FW::make_method(this, &StreamsAPI::closeStream));
    registerProperty("unsolicited", FW::make_property(this, &StreamsAPI::get_unsolicited));
}

FW::BrowserHostPtr StreamsAPI::host() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->getHost() : nullptr;
}

int StreamsAPI::start(FW::BrowserStreamRequest& request, const FW::JSObjectPtr& onEvent,
                      std::vector<FW::Range> ranges) {
    auto browser = host();
    if (!browser)
        return -1;
    request.seekable = !ranges.empty();
    request.setEventSink(std::make_shared<StreamReporter>(browser, onEvent, std::move(ranges)));
    FW::BrowserStreamPtr stream = browser->createStreamFromRequest(request);
    if (!stream)
        return -1;
    // Streams that have gone need no number any more.
    for (auto it = m_streams.begin(); it != m_streams.end();)
        it = it->second.expired() ? m_streams.erase(it) : std::next(it);
    m_streams[m_nextId] = stream;
    return m_nextId++;
}

int StreamsAPI::download(const std::string& url, const FW::JSObjectPtr& onEvent) {
    FW::BrowserStreamRequest request(url, "GET");
    return start(request, onEvent, {});
}

int StreamsAPI::readRanges(const std::string& url, const std::string& ranges,
                           const FW::JSObjectPtr& onEvent) {
    std::vector<FW::Range> parsed = parseRanges(ranges);
    if (parsed.empty())
        throw FW::script_error("readRanges: no range in \"" + ranges + "\"");
    FW::BrowserStreamRequest request(url, "GET");
    return start(request, onEvent, std::move(parsed));
}

int StreamsAPI::postTo(const std::string& url, const std::string& body,
                       const FW::JSObjectPtr& onEvent) {
    FW::BrowserStreamRequest request(url, "POST");
    request.setPostData(body, "Content-Type: text/plain\n");
    return start(request, onEvent, {});
}

bool StreamsAPI::fetchText(const std::string& url, const FW::JSObjectPtr& onDone) {
    return FW::SimpleStreamHelper::AsyncGet(host(), url, textCallback(onDone)) != nullptr;
}

bool StreamsAPI::postText(const std::string& url, const std::string& body,
                          const FW::JSObjectPtr& onDone) {
    return FW::SimpleStreamHelper::AsyncPost(host(), url, body, textCallback(onDone)) != nullptr;
}

bool StreamsAPI::closeStream(int id) {
    auto found = m_streams.find(id);
    if (found == m_streams.end())
        return false;
    FW::BrowserStreamPtr stream = found->second.lock();
    m_streams.erase(found);
    return stream && stream->close();
}

std::string StreamsAPI::get_unsolicited() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->unsolicited : std::string();
}

FW::JSAPIPtr StreamsPlugin::createJSAPI() {
    return std::make_shared<StreamsAPI>(
        std::static_pointer_cast<StreamsPlugin>(shared_from_this()));
}

bool StreamsPlugin::HandleEvent(FW::PluginEvent*, FW::PluginEventSource*) {
    return false;
}

bool StreamsPlugin::handleUnsolicitedStream(FW::BrowserStreamRequest& request) {
    std::weak_ptr<StreamsPlugin> self = std::static_pointer_cast<StreamsPlugin>(shared_from_this());
    // The whole body as it comes, even from a server that could seek.
    request.seekable = false;
    request.setCallback(
        [self](bool success, const FW::HeaderMap&, const uint8_t* data, size_t size) {
            auto plugin = self.lock();
            if (!plugin)
                return;
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08x", crc32Update(0, data, data ? size : 0));
            plugin->unsolicited =
                success ? "ok " + std::to_string(size) + " " + crc : std::string("failed");
        });
    return true;
}

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<TestPluginFactory<StreamsPlugin>>(
        "orvela streams test", "application/x-orvela-streams-test", "streams test");
    return factory;
}
