// Internet Explorer streams over Wine's urlmon, driven on a thread that pumps
// messages: a file read whole and by ranges, loopback HTTP answers (ranges,
// 404, a closed port, an upload), the host's stream creation, and the user's
// proxy settings read back from the registry.

#include <gtest/gtest.h>

// Winsock's header must come before windows.h.
#include "loopback_server.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ActiveXBrowserHost.h"
#include "ActiveXStream.h"
#include "BrowserStreamRequest.h"
#include "SimpleStreamHelper.h"
#include "StreamEvents.h"
#include "SystemProxyDetector.h"
#include "utf8_tools.h"

using namespace FW;
using namespace FW::ActiveX;
using testsupport::LoopbackServer;

namespace {

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

// Runs the thread's message loop until done() or the time is up.
bool pumpUntil(const std::function<bool()>& done, int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

struct Piece {
    size_t offset;
    std::string bytes;
    double progress;
};

// Records what a stream reports; onOpened may read ranges.
class Recorder : public PluginEventSink {
public:
    bool HandleEvent(PluginEvent* evt, PluginEventSource*) override {
        if (auto* data = dynamic_cast<StreamDataArrivedEvent*>(evt)) {
            pieces.push_back(Piece{data->offset,
                                   std::string(static_cast<const char*>(data->data), data->length),
                                   data->progress});
        } else if (auto* opened = dynamic_cast<StreamOpenedEvent*>(evt)) {
            ++openedCount;
            if (onOpened)
                onOpened(opened->stream);
        } else if (dynamic_cast<StreamFailedOpenEvent*>(evt) != nullptr) {
            ++failedOpenCount;
        } else if (auto* completed = dynamic_cast<StreamCompletedEvent*>(evt)) {
            ++completedCount;
            success = completed->success;
        }
        return false;
    }

    // The body with each piece at its offset.
    std::string body() const {
        std::string text;
        for (const Piece& piece : pieces) {
            if (text.size() < piece.offset + piece.bytes.size())
                text.resize(piece.offset + piece.bytes.size());
            text.replace(piece.offset, piece.bytes.size(), piece.bytes);
        }
        return text;
    }

    std::function<void(BrowserStream*)> onOpened;
    std::vector<Piece> pieces;
    int openedCount = 0;
    int failedOpenCount = 0;
    int completedCount = 0;
    bool success = false;
};

std::string testBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

class ActiveXStreamTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        s_path = std::wstring(dir) + L"orvela_stream_" + std::to_wstring(GetCurrentProcessId()) +
                 L".bin";
        s_bytes = testBytes(200000);
        HANDLE file = CreateFileW(s_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, s_bytes.data(), static_cast<DWORD>(s_bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    static void TearDownTestSuite() { DeleteFileW(s_path.c_str()); }

    static std::string fileUrl() {
        std::string path = wstring_to_utf8(s_path);
        for (char& c : path)
            c = c == '\\' ? '/' : c;
        return "file:///" + path;
    }

    // Starts the stream with a recorder attached and pumps until it completes.
    std::shared_ptr<Recorder> run(const ActiveXStreamPtr& stream,
                                  std::function<void(BrowserStream*)> onOpened = nullptr) {
        auto recorder = std::make_shared<Recorder>();
        recorder->onOpened = std::move(onOpened);
        stream->AttachObserver(recorder);
        EXPECT_TRUE(stream->init());
        EXPECT_TRUE(pumpUntil([&] { return recorder->completedCount > 0; }))
            << "no completion for " << stream->getUrl();
        pumpUntil([] { return false; }, 0); // late reports show up as a second completion
        return recorder;
    }

    ComApartment apartment;
    static std::wstring s_path;
    static std::string s_bytes;
};

std::wstring ActiveXStreamTest::s_path;
std::string ActiveXStreamTest::s_bytes;

TEST_F(ActiveXStreamTest, FileArrivesWholeInBufferSizedPiecesWithRisingProgress) {
    auto stream = std::make_shared<ActiveXStream>(fileUrl(), false, false, 16384);
    auto recorder = run(stream);
    EXPECT_EQ(1, recorder->openedCount);
    EXPECT_EQ(0, recorder->failedOpenCount);
    EXPECT_EQ(1, recorder->completedCount);
    EXPECT_TRUE(recorder->success);
    EXPECT_TRUE(recorder->body() == s_bytes);
    ASSERT_FALSE(recorder->pieces.empty());
    double progress = 0;
    size_t next = 0;
    for (const Piece& piece : recorder->pieces) {
        EXPECT_LE(piece.bytes.size(), 16384u);
        EXPECT_EQ(next, piece.offset);
        EXPECT_GE(piece.progress, progress);
        progress = piece.progress;
        next += piece.bytes.size();
    }
    EXPECT_DOUBLE_EQ(100.0, progress);
    EXPECT_EQ(s_bytes.size(), stream->getLength());
    EXPECT_TRUE(stream->isSeekable());
    EXPECT_TRUE(stream->isCompleted());
    EXPECT_FALSE(stream->isOpen());
    EXPECT_EQ(0u, stream->getBindingCount());
    // The bindings let go of the stream when they ended.
    std::weak_ptr<ActiveXStream> released = stream;
    stream.reset();
    EXPECT_TRUE(released.expired());
}

TEST_F(ActiveXStreamTest, SeekableFileDeliversExactlyTheRangesRead) {
    auto stream = std::make_shared<ActiveXStream>(fileUrl(), false, true, 4096);
    bool emptyRead = false;
    bool rangesStarted = false;
    auto recorder = run(stream, [&](BrowserStream* opened) {
        emptyRead = opened->readRanges({});
        rangesStarted = opened->readRanges({Range(1000, 10000), Range(150000, 150100)}) &&
                        opened->readRange(199990, 10);
    });
    EXPECT_TRUE(emptyRead);
    EXPECT_TRUE(rangesStarted);
    EXPECT_TRUE(recorder->success);
    EXPECT_EQ(1, recorder->completedCount);
    std::map<size_t, std::string> received;
    for (const Piece& piece : recorder->pieces) {
        EXPECT_LE(piece.bytes.size(), 4096u);
        received[piece.offset] = piece.bytes;
    }
    // Merge adjacent pieces into the ranges they came from.
    std::map<size_t, std::string> ranges;
    for (const auto& entry : received) {
        if (!ranges.empty()) {
            auto& last = *ranges.rbegin();
            if (last.first + last.second.size() == entry.first) {
                last.second += entry.second;
                continue;
            }
        }
        ranges.insert(entry);
    }
    ASSERT_EQ(3u, ranges.size());
    EXPECT_TRUE(ranges[1000] == s_bytes.substr(1000, 9000));
    EXPECT_TRUE(ranges[150000] == s_bytes.substr(150000, 100));
    EXPECT_TRUE(ranges[199990] == s_bytes.substr(199990, 10));
}

TEST_F(ActiveXStreamTest, WritingAndClosingAStreamThatIsNotOpenAreRefused) {
    ActiveXStream stream(fileUrl(), false, false, 1024);
    size_t written = 7;
    EXPECT_FALSE(stream.write("abc", 3, written));
    EXPECT_EQ(0u, written);
    EXPECT_FALSE(stream.close());
    EXPECT_FALSE(stream.readRange(0, 10));
}

class LoopbackStreamTest : public ActiveXStreamTest {
protected:
    LoopbackServer server{testBytes(100000)};
};

TEST_F(LoopbackStreamTest, HttpDownloadCarriesHeadersAndAcceptsRanges) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/data"), false, true, 8192);
    auto recorder = run(stream, [](BrowserStream* opened) {
        opened->readRanges({Range(10, 20), Range(90000, 100000)});
    });
    EXPECT_TRUE(recorder->success);
    EXPECT_TRUE(stream->isSeekable());
    EXPECT_EQ(100000u, stream->getLength());
    EXPECT_NE(std::string::npos, stream->getHeaders().find("Accept-Ranges: bytes"));
    const std::string bytes = testBytes(100000);
    std::string fromRanges;
    for (const Piece& piece : recorder->pieces) {
        ASSERT_LE(piece.offset + piece.bytes.size(), bytes.size());
        EXPECT_TRUE(piece.bytes == bytes.substr(piece.offset, piece.bytes.size()));
        fromRanges += piece.bytes;
    }
    EXPECT_EQ(10u + 10000u, fromRanges.size());
    std::vector<std::string> ranges;
    for (const auto& request : server.requests()) {
        const size_t at = request.headers.find("Range: ");
        if (at != std::string::npos)
            ranges.push_back(request.headers.substr(at, request.headers.find('\r', at) - at));
    }
    EXPECT_EQ((std::vector<std::string>{"Range: bytes=10-19", "Range: bytes=90000-99999"}), ranges);
}

TEST_F(LoopbackStreamTest, ClosingAnOpenStreamAbortsItAndEndsItOnce) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/data"), false, false, 1024);
    bool closed = false;
    auto recorder = run(stream, [&](BrowserStream* opened) { closed = opened->close(); });
    EXPECT_TRUE(closed);
    EXPECT_EQ(1, recorder->completedCount);
    EXPECT_TRUE(recorder->success);
    EXPECT_TRUE(recorder->pieces.empty());
    EXPECT_FALSE(stream->isOpen());
    EXPECT_EQ(0u, stream->getBindingCount());
    std::weak_ptr<ActiveXStream> released = stream;
    stream.reset();
    EXPECT_TRUE(pumpUntil([&] { return released.expired(); }, 5));
}

TEST_F(LoopbackStreamTest, NotFoundFailsToOpen) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/missing"), false, false, 8192);
    auto recorder = run(stream);
    EXPECT_EQ(0, recorder->openedCount);
    EXPECT_EQ(1, recorder->failedOpenCount);
    EXPECT_EQ(1, recorder->completedCount);
    EXPECT_FALSE(recorder->success);
    EXPECT_TRUE(recorder->pieces.empty());
}

TEST_F(LoopbackStreamTest, ClosedPortFailsToOpen) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/";
    auto stream = std::make_shared<ActiveXStream>(url, false, false, 8192);
    auto recorder = std::make_shared<Recorder>();
    stream->AttachObserver(recorder);
    if (stream->init()) {
        EXPECT_TRUE(pumpUntil([&] { return recorder->completedCount > 0; }));
        EXPECT_EQ(1, recorder->failedOpenCount);
        EXPECT_EQ(1, recorder->completedCount);
        EXPECT_FALSE(recorder->success);
    }
    EXPECT_EQ(0, recorder->openedCount);
}

TEST_F(LoopbackStreamTest, ConnectionCutShortFails) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/truncated"), false, false, 8192);
    auto recorder = run(stream);
    EXPECT_EQ(1, recorder->openedCount);
    EXPECT_EQ(1, recorder->completedCount);
    EXPECT_FALSE(recorder->success);
}

TEST_F(LoopbackStreamTest, EmptyBodyOpensAndCompletes) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/empty"), false, false, 8192);
    auto recorder = run(stream);
    EXPECT_EQ(1, recorder->openedCount);
    EXPECT_TRUE(recorder->success);
    EXPECT_TRUE(recorder->pieces.empty());
}

TEST_F(LoopbackStreamTest, UploadReachesTheServerAndItsAnswerComesBack) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/echo"), false, false, 8192,
                                                  "name=camera&port=8000", "X-Orvela: upload\n");
    auto recorder = run(stream);
    EXPECT_TRUE(recorder->success);
    EXPECT_EQ("echo:name=camera&port=8000", recorder->body());
    const auto requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ("name=camera&port=8000", requests[0].body);
    EXPECT_NE(std::string::npos, requests[0].headers.find("X-Orvela: upload"));
    EXPECT_NE(std::string::npos,
              requests[0].headers.find("Content-Type: application/x-www-form-urlencoded"));
    std::weak_ptr<ActiveXStream> released = stream;
    stream.reset();
    EXPECT_TRUE(released.expired());
}

TEST_F(LoopbackStreamTest, CachedDownloadNamesItsCacheFile) {
    ASSERT_TRUE(server.running());
    auto stream = std::make_shared<ActiveXStream>(server.url("/data"), true, false, 65536);
    auto recorder = run(stream);
    EXPECT_TRUE(recorder->success);
    EXPECT_TRUE(recorder->body() == testBytes(100000));
    EXPECT_FALSE(stream->getCacheFilename().empty());
}

TEST_F(LoopbackStreamTest, HostMakesStreamsForRequestsAndHandsBodiesToCallbacks) {
    ASSERT_TRUE(server.running());
    auto host = std::make_shared<ActiveXBrowserHost>(nullptr, nullptr);
    struct Answer {
        int calls = 0;
        bool success = false;
        std::string body;
    };
    auto answer = std::make_shared<Answer>();
    auto callback = [answer](bool success, const HeaderMap&, const uint8_t* data, size_t size) {
        ++answer->calls;
        answer->success = success;
        answer->body.assign(reinterpret_cast<const char*>(data), size);
    };
    EXPECT_TRUE(SimpleStreamHelper::AsyncPost(host, server.url("/echo"), "a=1", callback));
    EXPECT_TRUE(pumpUntil([&] { return answer->calls > 0; }));
    EXPECT_TRUE(answer->success);
    EXPECT_EQ("echo:a=1", answer->body);

    *answer = Answer();
    EXPECT_TRUE(SimpleStreamHelper::AsyncGet(host, server.url("/gone"), callback));
    EXPECT_TRUE(pumpUntil([&] { return answer->calls > 0; }));
    EXPECT_FALSE(answer->success);

    // A file is read whole as soon as urlmon starts: still every byte arrives.
    *answer = Answer();
    EXPECT_TRUE(SimpleStreamHelper::AsyncGet(host, fileUrl(), callback));
    EXPECT_EQ(0, answer->calls);
    EXPECT_TRUE(pumpUntil([&] { return answer->calls > 0; }));
    EXPECT_TRUE(answer->success);
    EXPECT_TRUE(answer->body == s_bytes);

    *answer = Answer();
    EXPECT_TRUE(SimpleStreamHelper::AsyncGet(host, "nosuchscheme:x", callback));
    EXPECT_TRUE(pumpUntil([&] { return answer->calls > 0; }));
    EXPECT_FALSE(answer->success);
    host->shutdown();
}

// The user's proxy settings, restored afterwards.
class ProxySettings : public ::testing::Test {
protected:
    ProxySettings() {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                        nullptr);
        for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride"}) {
            DWORD type = 0, size = 0;
            if (RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                continue;
            std::vector<BYTE> data(size);
            RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size);
            m_saved[name] = {type, data};
        }
    }
    ~ProxySettings() override {
        for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride"}) {
            auto saved = m_saved.find(name);
            if (saved == m_saved.end())
                RegDeleteValueW(m_key, name);
            else
                RegSetValueExW(m_key, name, 0, saved->second.first, saved->second.second.data(),
                               static_cast<DWORD>(saved->second.second.size()));
        }
        RegCloseKey(m_key);
    }

    void set(DWORD enabled, const std::wstring& server, const std::wstring& bypass) {
        RegSetValueExW(m_key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enabled),
                       sizeof(enabled));
        RegSetValueExW(m_key, L"ProxyServer", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
        RegSetValueExW(m_key, L"ProxyOverride", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(bypass.c_str()),
                       static_cast<DWORD>((bypass.size() + 1) * sizeof(wchar_t)));
    }

    static constexpr const wchar_t* kKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    HKEY m_key = nullptr;
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> m_saved;
};

TEST_F(ProxySettings, TheUsersRegistrySettingsChooseTheProxy) {
    const SystemProxyDetector* detector = SystemProxyDetector::get();
    ASSERT_NE(nullptr, detector);
    std::map<std::string, std::string> settings;
    set(1, L"http=cache.example:3128;socks=socks.example:1081", L"*.lan;<local>");
    EXPECT_TRUE(detector->detectProxy(settings, "http://camera.example/x"));
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"type", "http"}, {"hostname", "cache.example"}, {"port", "3128"}}),
              settings);
    EXPECT_TRUE(detector->detectProxy(settings, "https://camera.example/x"));
    EXPECT_EQ("socks", settings["type"]);
    EXPECT_EQ("1081", settings["port"]);
    settings.clear();
    EXPECT_FALSE(detector->detectProxy(settings, "http://cam.lan/"));
    EXPECT_FALSE(detector->detectProxy(settings, "http://camera/"));
    EXPECT_FALSE(detector->detectProxy(settings, "http://127.0.0.1:8000/"));
    EXPECT_TRUE(settings.empty());

    set(0, L"cache.example:3128", L"");
    EXPECT_FALSE(detector->detectProxy(settings, "http://camera.example/"));

    // The ActiveX host answers from the same settings.
    set(1, L"cache.example:8080", L"");
    auto host = std::make_shared<ActiveXBrowserHost>(nullptr, nullptr);
    EXPECT_TRUE(host->DetectProxySettings(settings, "https://camera.example/"));
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"type", "https"}, {"hostname", "cache.example"}, {"port", "8080"}}),
              settings);
    host->shutdown();
}

} // namespace
