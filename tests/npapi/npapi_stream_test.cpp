// NPAPI streams against a browser whose stream functions the test scripts:
// what the plug-in asks of the browser, and how the NPP_ stream calls drive
// the stream objects and their events.

#include <cstring>
#include <string>
#include <vector>

#include "BrowserStreamRequest.h"
#include "NpapiStream.h"
#include "NpapiTestSupport.h"
#include "StreamEvents.h"

using namespace FW;
using namespace FW::Npapi;
using FW::Testing::NpapiTest;

namespace {

// What the scripted browser was asked, in order, with the events the
// observers saw interleaved.
struct StreamBrowser {
    std::vector<std::string> log;
    void* notifyData = nullptr;
    std::string postBody;
    std::vector<std::pair<int32_t, uint32_t>> ranges;
    NPError answer = NPERR_NO_ERROR;
    int32_t writeAnswer = 0;
    // A browser that destroys at once and notifies, as Firefox did.
    bool destroysAtOnce = false;
    NPStream* lastDestroyed = nullptr;
};
StreamBrowser* g_browser = nullptr;

NPError geturlnotify(NPP, const char* url, const char*, void* notifyData) {
    g_browser->log.push_back(std::string("GetURLNotify ") + url);
    g_browser->notifyData = notifyData;
    return g_browser->answer;
}

NPError posturlnotify(NPP, const char* url, const char*, uint32_t len, const char* buf, NPBool,
                      void* notifyData) {
    g_browser->log.push_back(std::string("PostURLNotify ") + url);
    g_browser->postBody.assign(buf, len);
    g_browser->notifyData = notifyData;
    return g_browser->answer;
}

NPError requestread(NPStream*, NPByteRange* list) {
    g_browser->log.push_back("RequestRead");
    for (; list != nullptr; list = list->next)
        g_browser->ranges.emplace_back(list->offset, list->length);
    return g_browser->answer;
}

int32_t write(NPP, NPStream*, int32_t len, void*) {
    g_browser->log.push_back("Write " + std::to_string(len));
    return g_browser->writeAnswer;
}

NPError destroystream(NPP, NPStream* stream, NPReason reason) {
    g_browser->log.push_back("DestroyStream " + std::to_string(reason));
    g_browser->lastDestroyed = stream;
    if (g_browser->destroysAtOnce) {
        StreamDestroy(stream, reason);
        StreamURLNotify(stream->url, reason, g_browser->notifyData);
    }
    return g_browser->answer;
}

class Recorder : public PluginEventSink {
public:
    bool HandleEvent(PluginEvent* evt, PluginEventSource*) override {
        if (dynamic_cast<StreamCreatedEvent*>(evt))
            g_browser->log.push_back("event created");
        else if (dynamic_cast<StreamOpenedEvent*>(evt))
            g_browser->log.push_back("event opened");
        else if (dynamic_cast<StreamFailedOpenEvent*>(evt))
            g_browser->log.push_back("event failed-open");
        else if (auto* data = dynamic_cast<StreamDataArrivedEvent*>(evt)) {
            g_browser->log.push_back("event data " + std::to_string(data->offset) + "+" +
                                     std::to_string(data->length));
            progress = data->progress;
        } else if (auto* done = dynamic_cast<StreamCompletedEvent*>(evt))
            g_browser->log.push_back(done->success ? "event completed" : "event completed-failed");
        return false;
    }
    double progress = -1;
};

class NpapiStreamTest : public NpapiTest {
protected:
    StreamBrowser scripted;
    NPNetscapeFuncs table{};
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    NPStream npStream{};

    void SetUp() override {
        g_browser = &scripted;
        table = *browser.funcs();
        table.geturlnotify = geturlnotify;
        table.posturlnotify = posturlnotify;
        table.requestread = requestread;
        table.write = write;
        table.destroystream = destroystream;
        host->setBrowserFuncs(&table);
        npStream.url = "http://127.0.0.1/file";
        npStream.end = 200000;
    }
    void TearDown() override {
        NpapiTest::TearDown();
        g_browser = nullptr;
    }

    // A stream the plug-in asked for, handed to the browser's NPP_NewStream.
    std::weak_ptr<NpapiStream> request(bool seekable, bool browserSeekable, size_t buffer = 32768,
                                       uint16_t expectedType = NP_NORMAL) {
        BrowserStreamRequest req(npStream.url);
        req.seekable = seekable;
        req.bufferSize = static_cast<uint32_t>(buffer);
        req.setEventSink(recorder);
        std::weak_ptr<NpapiStream> stream =
            std::static_pointer_cast<NpapiStream>(host->createStream(req));
        EXPECT_FALSE(stream.expired());
        EXPECT_EQ(scripted.notifyData, stream.lock().get());
        npStream.notifyData = scripted.notifyData;
        uint16_t stype = 0;
        const NPError opened = StreamNew(host.get(), nullptr, const_cast<char*>("text/plain"),
                                         &npStream, browserSeekable, &stype);
        if (opened == NPERR_NO_ERROR) {
            EXPECT_EQ(stype, expectedType);
        }
        scripted.log.clear();
        return stream;
    }
};

} // namespace

TEST_F(NpapiStreamTest, DeliveriesAreLimitedToTheBuffer) {
    auto stream = request(false, false, 32768);
    EXPECT_EQ(StreamWriteReady(&npStream), 32768);
    std::vector<char> bytes(100000, 'x');
    EXPECT_EQ(StreamWrite(&npStream, 0, 100000, bytes.data()), 32768);
    EXPECT_EQ(StreamWrite(&npStream, 32768, 100, bytes.data()), 100);
    const std::vector<std::string> expected{"event data 0+32768", "event data 32768+100"};
    EXPECT_EQ(scripted.log, expected);
    EXPECT_DOUBLE_EQ(recorder->progress, (32768.0 + 100) / 200000 * 100);
    StreamDestroy(&npStream, NPRES_DONE);
    StreamURLNotify(npStream.url, NPRES_DONE, stream.lock().get());
    EXPECT_TRUE(stream.expired());
}

TEST_F(NpapiStreamTest, AWholeDownloadEndsAndFreesTheStream) {
    auto stream = request(false, false);
    EXPECT_EQ(npStream.pdata, stream.lock().get());
    EXPECT_TRUE(stream.lock()->isOpen());
    EXPECT_EQ(stream.lock()->getMimeType(), "text/plain");
    EXPECT_EQ(stream.lock()->getLength(), 200000u);
    EXPECT_EQ(StreamDestroy(&npStream, NPRES_DONE), NPERR_NO_ERROR);
    EXPECT_EQ(npStream.pdata, nullptr);
    EXPECT_FALSE(stream.expired()) << "the notification is still to come";
    StreamURLNotify(npStream.url, NPRES_DONE, stream.lock().get());
    EXPECT_TRUE(stream.expired()) << "destroyed and notified: nothing keeps it";
    const std::vector<std::string> expected{"event completed"};
    EXPECT_EQ(scripted.log, expected) << "one completion";
}

TEST_F(NpapiStreamTest, AFailedDownloadReportsFailure) {
    auto stream = request(false, false);
    StreamDestroy(&npStream, NPRES_NETWORK_ERR);
    StreamURLNotify(npStream.url, NPRES_NETWORK_ERR, stream.lock().get());
    const std::vector<std::string> expected{"event completed-failed"};
    EXPECT_EQ(scripted.log, expected);
    EXPECT_TRUE(stream.expired());
}

TEST_F(NpapiStreamTest, SeekableStreamsStayOpenAfterSuccess) {
    auto stream = request(true, true, 32768, NP_SEEK);
    stream.lock()->signalCompleted(true);
    EXPECT_TRUE(stream.lock()->isOpen());
    EXPECT_FALSE(stream.lock()->isCompleted());
    EXPECT_TRUE(stream.lock()->readRange(10, 5)) << "still usable for range reads";
    EXPECT_EQ(scripted.ranges, (std::vector<std::pair<int32_t, uint32_t>>{{10, 5}}));

    stream.lock()->signalCompleted(false);
    EXPECT_FALSE(stream.lock()->isOpen());
    EXPECT_TRUE(stream.lock()->isCompleted());
    const std::vector<std::string> expected{"RequestRead", "DestroyStream 2",
                                            "event completed-failed"};
    EXPECT_EQ(scripted.log, expected);
    StreamURLNotify(npStream.url, NPRES_USER_BREAK, stream.lock().get());
    EXPECT_TRUE(stream.expired());
}

TEST_F(NpapiStreamTest, RangeReadsGoToTheBrowserInOrder) {
    auto stream = request(true, true, 32768, NP_SEEK);
    EXPECT_TRUE(stream.lock()->readRanges({}));
    EXPECT_TRUE(scripted.log.empty()) << "an empty list needs no browser call";
    EXPECT_TRUE(stream.lock()->readRanges({Range(100, 150), Range(0, 10)}));
    EXPECT_EQ(scripted.ranges, (std::vector<std::pair<int32_t, uint32_t>>{{100, 50}, {0, 10}}));
    scripted.answer = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(stream.lock()->readRange(0, 1)) << "a refusal answers false";
    scripted.answer = NPERR_NO_ERROR;
    stream.lock()->close();
    StreamURLNotify(npStream.url, NPRES_USER_BREAK, stream.lock().get());
    EXPECT_TRUE(stream.expired());
}

TEST_F(NpapiStreamTest, RangeReadsNeedASeekableOpenStream) {
    auto stream = request(false, true);
    EXPECT_FALSE(stream.lock()->readRange(0, 10)) << "seeking was not asked for";
    EXPECT_FALSE(stream.lock()->readRanges({})) << "not even an empty list";
    EXPECT_TRUE(scripted.log.empty());
    StreamDestroy(&npStream, NPRES_DONE);
    StreamURLNotify(npStream.url, NPRES_DONE, stream.lock().get());
}

TEST_F(NpapiStreamTest, AStreamThatCannotSeekIsRefused) {
    auto stream = request(true, false);
    uint16_t stype = 0;
    NPStream other{};
    other.url = "http://127.0.0.1/again";
    other.notifyData = stream.lock().get();
    EXPECT_EQ(StreamNew(host.get(), nullptr, nullptr, &other, false, &stype),
              NPERR_STREAM_NOT_SEEKABLE);
    EXPECT_EQ(other.pdata, nullptr);
    EXPECT_EQ(scripted.log, std::vector<std::string>{"event failed-open"});
    StreamURLNotify(other.url, NPRES_NETWORK_ERR, stream.lock().get());
    EXPECT_TRUE(stream.expired()) << "no NPP_DestroyStream follows a refused stream";
}

TEST_F(NpapiStreamTest, CloseReportsSuccessBeforeTheBrowserDestroys) {
    auto stream = request(false, false);
    EXPECT_TRUE(stream.lock()->close());
    const std::vector<std::string> expected{"event completed", "DestroyStream 2"};
    EXPECT_EQ(scripted.log, expected);
    EXPECT_FALSE(stream.lock()->isOpen());
    EXPECT_EQ(stream.lock()->getStream(), nullptr);
    EXPECT_FALSE(stream.lock()->close()) << "nothing left to close";
    // A browser that destroys later finds no stream object.
    EXPECT_EQ(StreamDestroy(scripted.lastDestroyed, NPRES_USER_BREAK), NPERR_NO_ERROR);
    StreamURLNotify(npStream.url, NPRES_USER_BREAK, stream.lock().get());
    EXPECT_TRUE(stream.expired());
    EXPECT_EQ(scripted.log.size(), 2u) << "and reports nothing more";
}

TEST_F(NpapiStreamTest, ABrowserDestroyingAtOnceEndsTheStreamOnce) {
    scripted.destroysAtOnce = true;
    auto stream = request(false, false);
    EXPECT_TRUE(stream.lock()->close());
    EXPECT_TRUE(stream.expired());
    const std::vector<std::string> expected{"event completed", "DestroyStream 2"};
    EXPECT_EQ(scripted.log, expected);
}

TEST_F(NpapiStreamTest, WritesAnswerWhetherEverythingWasTaken) {
    auto stream = request(false, false);
    size_t written = 0;
    scripted.writeAnswer = 5;
    EXPECT_TRUE(stream.lock()->write("hello", 5, written));
    EXPECT_EQ(written, 5u);
    scripted.writeAnswer = 2;
    EXPECT_FALSE(stream.lock()->write("hello", 5, written));
    EXPECT_EQ(written, 2u);
    StreamDestroy(&npStream, NPRES_DONE);
    StreamURLNotify(npStream.url, NPRES_DONE, stream.lock().get());
    EXPECT_FALSE(stream.lock() && stream.lock()->write("x", 1, written)) << "closed";
}

TEST_F(NpapiStreamTest, PostsCarryTheirHeadersAndBody) {
    BrowserStreamRequest req("http://127.0.0.1/echo");
    req.setPostData("a=1&b=2", "X-Test: yes\n");
    std::weak_ptr<BrowserStream> stream = host->createPostStream(req);
    ASSERT_FALSE(stream.expired());
    EXPECT_EQ(scripted.postBody, "X-Test: yes\nContent-type: application/x-www-form-urlencoded\n"
                                 "Content-Length: 7\n\na=1&b=2");
    StreamURLNotify(nullptr, NPRES_NETWORK_ERR, scripted.notifyData);
    EXPECT_TRUE(stream.expired()) << "never opened, failed and notified";
}

TEST_F(NpapiStreamTest, ARefusedRequestMakesNoStream) {
    scripted.answer = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(host->createStream(BrowserStreamRequest("http://127.0.0.1/x")));
}

TEST_F(NpapiStreamTest, UnsolicitedStreamsNobodyTakesAreRefused) {
    uint16_t stype = 0;
    EXPECT_EQ(StreamNew(host.get(), nullptr, nullptr, &npStream, false, &stype), NPERR_NO_ERROR);
    EXPECT_EQ(npStream.pdata, nullptr);
    EXPECT_EQ(StreamWriteReady(&npStream), -1);
    char byte = 0;
    EXPECT_EQ(StreamWrite(&npStream, 0, 1, &byte), -1);
    EXPECT_EQ(StreamDestroy(&npStream, NPRES_DONE), NPERR_NO_ERROR);
}

TEST_F(NpapiStreamTest, StreamsRunningAtShutdownAreClosed) {
    auto stream = request(false, false);
    host->shutdown();
    const std::vector<std::string> expected{"event completed", "DestroyStream 2"};
    EXPECT_EQ(scripted.log, expected);
    StreamURLNotify(npStream.url, NPRES_USER_BREAK, stream.lock().get());
    EXPECT_TRUE(stream.expired());
}
