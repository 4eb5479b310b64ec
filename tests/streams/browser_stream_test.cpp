// Browser streams in general: range reads, the manager that keeps streams
// alive until they complete, the host's stream creation, and the helper that
// collects a whole body.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BrowserStreamManager.h"
#include "BrowserStreamRequest.h"
#include "GeneralEvents.h"
#include "SimpleStreamHelper.h"
#include "StreamEvents.h"
#include "TestBrowserHost.h"

using namespace FW;

namespace {

// A stream driven by the test as a browser would drive it.
class ScriptedStream : public BrowserStream {
public:
    using BrowserStream::BrowserStream;

    bool readRanges(const std::vector<Range>& ranges) override {
        requests.push_back(ranges);
        return true;
    }
    bool write(const char*, size_t, size_t& written) override {
        written = 0;
        return false;
    }
    bool close() override {
        ++closes;
        if (!isOpen())
            return false;
        setOpen(false);
        StreamCompletedEvent evt(this, true);
        sendStreamEvent(&evt);
        return true;
    }
    void open() {
        setOpen(true);
        StreamOpenedEvent evt(this);
        sendStreamEvent(&evt);
    }
    void deliver(const std::string& bytes, size_t offset) {
        StreamDataArrivedEvent evt(this, bytes.data(), bytes.size(), offset,
                                   progressAfter(bytes.size(), offset));
        sendStreamEvent(&evt);
    }
    void complete(bool success) {
        setCompleted(true);
        setOpen(false);
        StreamCompletedEvent evt(this, success);
        sendStreamEvent(&evt);
    }
    void failOpen() {
        StreamFailedOpenEvent evt(this);
        sendStreamEvent(&evt);
    }

    std::vector<std::vector<Range>> requests;
    int closes = 0;
};

// Names the stream events it sees, in order.
class Recorder : public PluginEventSink {
public:
    bool HandleEvent(PluginEvent* evt, PluginEventSource*) override {
        if (dynamic_cast<StreamCreatedEvent*>(evt))
            events.push_back("created");
        else if (dynamic_cast<StreamOpenedEvent*>(evt))
            events.push_back("opened");
        else if (dynamic_cast<StreamFailedOpenEvent*>(evt))
            events.push_back("failed-open");
        else if (auto* data = dynamic_cast<StreamDataArrivedEvent*>(evt)) {
            events.push_back("data " + std::to_string(data->offset) + "+" +
                             std::to_string(data->length));
            progress.push_back(data->progress);
        } else if (auto* done = dynamic_cast<StreamCompletedEvent*>(evt))
            events.push_back(done->success ? "completed" : "completed-failed");
        else if (dynamic_cast<StreamDestroyedEvent*>(evt))
            events.push_back("destroyed");
        return false;
    }
    std::vector<std::string> events;
    std::vector<double> progress;
};

class StreamingHost : public Testing::TestBrowserHost {
public:
    std::vector<std::string> made;
    std::weak_ptr<ScriptedStream> last;
    bool refuse = false;

protected:
    BrowserStreamPtr _createStream(const BrowserStreamRequest& request) override {
        made.push_back(request.method + " " + request.uri);
        if (refuse)
            return nullptr;
        auto stream = std::make_shared<ScriptedStream>(request.uri, request.cache, request.seekable,
                                                       request.bufferSize);
        last = stream;
        return stream;
    }
};

} // namespace

TEST(BrowserStream, RangesAndFlags) {
    auto stream = std::make_shared<ScriptedStream>("http://h/x", true, true, 4096);
    EXPECT_EQ(stream->getUrl(), "http://h/x");
    EXPECT_TRUE(stream->isCached());
    EXPECT_TRUE(stream->isSeekableRequested());
    EXPECT_FALSE(stream->isSeekableNow()) << "until the browser allows seeking";
    stream->setSeekable(true);
    EXPECT_TRUE(stream->isSeekableNow());
    EXPECT_EQ(stream->getInternalBufferSize(), 4096u);
    EXPECT_FALSE(stream->isOpen());
    EXPECT_FALSE(stream->isCompleted());

    EXPECT_TRUE(stream->readRange(100, 50));
    ASSERT_EQ(stream->requests.size(), 1u);
    ASSERT_EQ(stream->requests[0].size(), 1u);
    EXPECT_EQ(stream->requests[0][0].start, 100u);
    EXPECT_EQ(stream->requests[0][0].end, 150u);
    EXPECT_EQ(stream->shared_ptr(), stream);
}

TEST(BrowserStream, DestructionIsAnnounced) {
    auto recorder = std::make_shared<Recorder>();
    {
        auto stream = std::make_shared<ScriptedStream>("u", false, false, 10);
        stream->AttachObserver(recorder);
    }
    ASSERT_FALSE(recorder->events.empty());
    EXPECT_EQ(recorder->events.back(), "destroyed");
}

TEST(BrowserStreamManager, KeepsStreamsUntilTheyComplete) {
    auto manager = std::make_shared<BrowserStreamManager>();
    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<ScriptedStream> weak;
    {
        auto stream = std::make_shared<ScriptedStream>("u", false, false, 10);
        stream->AttachObserver(recorder);
        manager->retainStream(stream);
        stream->open();
        weak = stream;
    }
    ASSERT_FALSE(weak.expired()) << "the manager keeps a running stream";
    EXPECT_EQ(manager->size(), 1u);
    weak.lock()->complete(true);
    EXPECT_TRUE(weak.expired()) << "released once it completed";
    EXPECT_EQ(manager->size(), 0u);
    const std::vector<std::string> expected{"opened", "completed", "destroyed"};
    EXPECT_EQ(recorder->events, expected) << "every observer saw the completion";
}

TEST(BrowserStreamManager, ClosesUnfinishedStreamsWhenItGoes) {
    auto manager = std::make_shared<BrowserStreamManager>();
    auto stream = std::make_shared<ScriptedStream>("u", false, false, 10);
    manager->retainStream(stream);
    stream->open();
    manager.reset();
    EXPECT_EQ(stream->closes, 1);
    EXPECT_FALSE(stream->isOpen());
}

TEST(BrowserHostStreams, HostMakesKeepsAndAnnouncesStreams) {
    auto host = std::make_shared<StreamingHost>();
    auto recorder = std::make_shared<Recorder>();
    BrowserStreamRequest request("http://127.0.0.1/a");
    request.setEventSink(recorder);
    std::weak_ptr<BrowserStream> weak = host->createStream(request);
    ASSERT_FALSE(weak.expired()) << "kept by the host's manager";
    ASSERT_FALSE(recorder->events.empty());
    EXPECT_EQ(recorder->events.front(), "created");

    BrowserStreamRequest post("http://127.0.0.1/echo");
    post.setPostData("a=1");
    host->createPostStream(post);
    const std::vector<std::string> made{"GET http://127.0.0.1/a", "POST http://127.0.0.1/echo"};
    EXPECT_EQ(host->made, made);

    // Shutting down closes what still runs and refuses new streams.
    std::shared_ptr<ScriptedStream> open = host->last.lock();
    open->open();
    host->shutdown();
    EXPECT_EQ(open->closes, 1);
    EXPECT_FALSE(host->createStream(BrowserStreamRequest("http://127.0.0.1/b")));
    EXPECT_EQ(host->made.size(), 2u);
}

TEST(SimpleStreamHelper, CollectsTheWholeBodyOnce) {
    auto host = std::make_shared<StreamingHost>();
    int calls = 0;
    bool ok = false;
    std::string body;
    std::string type;
    BrowserStreamPtr stream = SimpleStreamHelper::AsyncGet(
        host, "http://127.0.0.1/a",
        [&](bool success, const HeaderMap& headers, const uint8_t* data, size_t size) {
            ++calls;
            ok = success;
            body.assign(reinterpret_cast<const char*>(data), size);
            auto it = headers.find("Content-Type");
            type = it != headers.end() ? it->second : "";
        });
    ASSERT_TRUE(stream);
    auto scripted = std::static_pointer_cast<ScriptedStream>(stream);
    scripted->setHeaders("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n");
    scripted->open();
    scripted->deliver("hello ", 0);
    scripted->deliver("world", 6);
    scripted->complete(true);
    scripted->complete(true);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(ok);
    EXPECT_EQ(body, "hello world");
    EXPECT_EQ(type, "text/plain");
}

TEST(SimpleStreamHelper, PiecesLandAtTheirOffsets) {
    auto host = std::make_shared<StreamingHost>();
    std::string body;
    auto stream = std::static_pointer_cast<ScriptedStream>(SimpleStreamHelper::AsyncGet(
        host, "u", [&](bool, const HeaderMap&, const uint8_t* data, size_t size) {
            body.assign(reinterpret_cast<const char*>(data), size);
        }));
    stream->open();
    stream->deliver("cd", 2);
    stream->deliver("ab", 0);
    stream->complete(true);
    EXPECT_EQ(body, "abcd");
}

TEST(SimpleStreamHelper, FailuresAreReportedOnce) {
    auto host = std::make_shared<StreamingHost>();
    std::vector<bool> results;
    auto record = [&](bool success, const HeaderMap&, const uint8_t*, size_t) {
        results.push_back(success);
    };
    auto stream = std::static_pointer_cast<ScriptedStream>(
        SimpleStreamHelper::AsyncGet(host, "http://127.0.0.1/missing", record));
    stream->failOpen();
    stream->complete(false);
    host->refuse = true;
    EXPECT_FALSE(SimpleStreamHelper::AsyncPost(host, "http://127.0.0.1/x", "d", record));
    EXPECT_EQ(results, (std::vector<bool>{false, false}));
}

TEST(SimpleStreamHelper, HelperGoesWithItsStream) {
    auto host = std::make_shared<StreamingHost>();
    std::weak_ptr<ScriptedStream> weak =
        std::static_pointer_cast<ScriptedStream>(SimpleStreamHelper::AsyncGet(
            host, "u", [](bool, const HeaderMap&, const uint8_t*, size_t) {}));
    ASSERT_FALSE(weak.expired());
    weak.lock()->open();
    weak.lock()->complete(true);
    EXPECT_TRUE(weak.expired()) << "nothing keeps a completed stream";
}

TEST(StreamRequest, HeadersAreParsed) {
    HeaderMap headers = parseHeaders("HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-9/100\r\n"
                                     "Set-Cookie: a\nSet-Cookie: b\nbroken\n");
    EXPECT_EQ(headers.count("Set-Cookie"), 2u);
    EXPECT_EQ(headers.find("Content-Range")->second, "bytes 0-9/100");
    EXPECT_EQ(headers.size(), 3u);
}

TEST(StreamRequest, PostHeadersAreFoundInAnyCase) {
    BrowserStreamRequest request("http://127.0.0.1/echo");
    request.setPostData("a=1", "content-TYPE: text/plain\nX-Camera: 1\n");
    EXPECT_EQ(request.method, "POST");
    EXPECT_TRUE(request.hasPostHeader("Content-Type"));
    EXPECT_TRUE(request.hasPostHeader("x-camera"));
    EXPECT_FALSE(request.hasPostHeader("Content"));
    EXPECT_FALSE(BrowserStreamRequest("http://127.0.0.1/").hasPostHeader("Content-Type"));
}
