#pragma once
// A plug-in built on the framework, for the stream tests: its scripting object
// has the browser fetch, read ranges of and post to URLs and reports what the
// streams deliver to page functions; the element's own data (an unsolicited
// stream) is summed up in a property.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "BrowserStream.h"
#include "BrowserStreamRequest.h"
#include "FactoryBase.h"
#include "JSAPIAuto.h"
#include "JSObject.h"
#include "PluginCore.h"

class StreamsPlugin;

class StreamsAPI : public FW::JSAPIAuto {
public:
    explicit StreamsAPI(const std::shared_ptr<StreamsPlugin>& plugin);

    // Each answers the stream's number, or -1 when the browser made no stream;
    // onEvent(kind, ...) hears "opened", "failedOpen", "data" (range reads),
    // "rangesRefused" and "completed".
    int download(const std::string& url, const FW::JSObjectPtr& onEvent);
    // ranges: "offset:length" pairs separated by commas.
    int readRanges(const std::string& url, const std::string& ranges,
                   const FW::JSObjectPtr& onEvent);
    int postTo(const std::string& url, const std::string& body, const FW::JSObjectPtr& onEvent);
    // The whole body at once: onDone(success, text).
    bool fetchText(const std::string& url, const FW::JSObjectPtr& onDone);
    bool postText(const std::string& url, const std::string& body, const FW::JSObjectPtr& onDone);
    bool closeStream(int id);
    std::string get_unsolicited() const;

private:
    int start(FW::BrowserStreamRequest& request, const FW::JSObjectPtr& onEvent,
              std::vector<FW::Range> ranges);
    FW::BrowserHostPtr host() const;

    std::weak_ptr<StreamsPlugin> m_plugin;
    std::map<int, FW::BrowserStreamWeakPtr> m_streams;
    int m_nextId = 1;
};

class StreamsPlugin : public FW::PluginCore {
public:
    FW::JSAPIPtr createJSAPI() override;
    bool HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) override;
    bool handleUnsolicitedStream(FW::BrowserStreamRequest& request) override;

    // "" until the element's data has ended; then "ok <bytes> <crc32>" or "failed".
    std::string unsolicited;
};

FW::FactoryBasePtr getFactoryInstance();
