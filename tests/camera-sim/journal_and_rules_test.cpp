// The simulator's parts that need no COM: the journal's text form, the file
// and registry plumbing that tests rely on, the operation rules, and the
// queued events of one instance.
#include "camera_core.h"
#include "camera_model.h"
#include "camera_sim_client.h"
#include "journal_writer.h"
#include "sim_painter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace CameraSim;

namespace {

JournalRecord roundTrip(const JournalRecord& record) {
    std::string line = formatJournalRecord(record);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    auto parsed = parseJournalRecord(line);
    EXPECT_TRUE(parsed.has_value()) << line;
    return parsed.value_or(JournalRecord{});
}

TEST(JournalFormat, KeepsEveryUtf16CodeUnitOfTexts) {
    const std::wstring awkward[] = {
        L"",
        L"plain ASCII with \"quotes\", commas, and \\ backslashes",
        L"tab\tnew\nline\rreturn \x01\x1F\x7F",
        L"caf\u00E9 \u30AB\u30E1\u30E9 \u20AC",
        L"pair \xD83D\xDE00 end",      // U+1F600 as a surrogate pair
        L"lone high \xD83D end",       // malformed UTF-16 survives unchanged
        L"lone low \xDE00 and \xDBFF", // ... also at the very end
        std::wstring(L"embedded\0nul", 12),
    };
    for (const std::wstring& text : awkward) {
        JournalRecord record =
            JournalRecord::make(JournalRecord::Kind::Call, 77, 3, 12, L"SetDeviceType");
        record.args = {JournalValue::number(-5), JournalValue::string(text)};
        record.result = JournalValue::string(text);
        JournalRecord back = roundTrip(record);
        ASSERT_EQ(back.args.size(), 2u);
        EXPECT_EQ(back.args[1].text, text) << describe(record);
        EXPECT_EQ(back.args[1].kind, JournalValue::Kind::Text);
        ASSERT_TRUE(back.result.has_value());
        EXPECT_EQ(back.result->text, text);
    }
}

TEST(JournalFormat, FieldsAndValueKindsRoundTrip) {
    JournalRecord failed =
        JournalRecord::make(JournalRecord::Kind::Call, 4120, 2, 22, L"GetMDBlockStr");
    failed.hr = E_FAIL;
    JournalRecord delivery =
        JournalRecord::make(JournalRecord::Kind::Delivery, 9, 9, 1, L"OnCtrlEvent");
    EXPECT_EQ(roundTrip(delivery).kind, JournalRecord::Kind::Delivery);
    JournalRecord back = roundTrip(failed);
    EXPECT_EQ(back.kind, JournalRecord::Kind::Call);
    EXPECT_EQ(back.pid, 4120u);
    EXPECT_EQ(back.instance, 2);
    EXPECT_EQ(back.slot, 22);
    EXPECT_EQ(back.name, L"GetMDBlockStr");
    EXPECT_TRUE(back.args.empty());
    EXPECT_EQ(back.hr, E_FAIL);
    EXPECT_FALSE(back.result.has_value());

    JournalRecord event = JournalRecord::make(JournalRecord::Kind::Event, 1, 1, 1, L"OnCtrlEvent");
    event.args = {JournalValue::nullText(), JournalValue::number(LONG_MIN),
                  JournalValue::number(LONG_MAX)};
    event.result = JournalValue::number(2);
    back = roundTrip(event);
    EXPECT_EQ(back.kind, JournalRecord::Kind::Event);
    ASSERT_EQ(back.args.size(), 3u);
    EXPECT_EQ(back.args[0].kind, JournalValue::Kind::NullText);
    EXPECT_EQ(back.args[1], JournalValue::number(LONG_MIN));
    EXPECT_EQ(back.args[2], JournalValue::number(LONG_MAX));
    EXPECT_EQ(*back.result, JournalValue::number(2));

    EXPECT_EQ(formatJournalRecord(failed), "call\t4120\t2\t22\tGetMDBlockStr\t\t0x80004005\t");
}

TEST(JournalFormat, RejectsMalformedLines) {
    const char* bad[] = {
        "",
        "call\t1\t1\t7\tInitCtrl\t\t0x00000000",          // a field short
        "bogus\t1\t1\t7\tInitCtrl\t\t0x00000000\t0",      // unknown kind
        "call\tx\t1\t7\tInitCtrl\t\t0x00000000\t0",       // pid not a number
        "call\t1\t1\t7\tInitCtrl\t\"open\t0x00000000\t0", // unterminated text
        "call\t1\t1\t7\tInitCtrl\t\"a\" \"b\"\t0x00000000\t0",
        "call\t1\t1\t7\tInitCtrl\t\"\\q\"\t0x00000000\t0", // unknown escape
        "call\t1\t1\t7\tInitCtrl\t\t0x0\t0",               // short HRESULT
        "call\t1\t1\t7\tInitCtrl\t\t0x00000000\t0 junk",
    };
    for (const char* line : bad)
        EXPECT_FALSE(parseJournalRecord(line).has_value()) << line;
}

TEST(Rules, CameraAddressesAndPorts) {
    for (const wchar_t* good :
         {L"192.168.1.10", L"0.0.0.0", L"255.255.255.255", L"cam-1.local", L"localhost", L"a1.b2"})
        EXPECT_TRUE(CameraModel::isWellFormedAddress(good)) << good;
    for (const wchar_t* bad : {L"", L"192.168.1.256", L"1.2.3", L"1.2.3.4.5", L"1..2.3", L"-cam",
                               L"cam-", L"cam era", L"caf\u00E9", L"1.2.3.0004", L"http://x"})
        EXPECT_FALSE(CameraModel::isWellFormedAddress(bad)) << bad;

    CameraModel model;
    EXPECT_EQ(model.InitCtrl(L"http://h/", L"10.0.0.300", 80), -2);
    EXPECT_EQ(model.InitCtrl(L"http://h/", L"10.0.0.3", 0), -3);
    EXPECT_EQ(model.InitCtrl(L"http://h/", L"10.0.0.3", 65536), -3);
    EXPECT_FALSE(model.initialised());
    EXPECT_EQ(model.InitCtrl(L"http://h/", L"10.0.0.3", -1), -3);
    EXPECT_EQ(model.InitCtrl(L"", L"10.0.0.3", 65535), 0);
    EXPECT_TRUE(model.initialised());
    EXPECT_EQ(model.address(), L"10.0.0.3");
}

TEST(Rules, StreamingStateAndItsEvents) {
    CameraModel model;
    EXPECT_EQ(model.PlayRealVideo(L"1", L"0", L"0"), -1) << "not initialised";
    EXPECT_EQ(model.ExtSnapPicture(L"C:\\pics"), -1) << "not live";
    EXPECT_TRUE(model.takeEvents().empty());

    ASSERT_EQ(model.InitCtrl(L"http://cam/", L"cam.local", 8091), 0);
    EXPECT_EQ(model.PlayRealVideo(L"1", L"0", L"0"), 0);
    EXPECT_EQ(model.ExtSnapPicture(L"C:\\pics"), 0);
    EXPECT_EQ(model.ExtSnapPicture(L"C:\\pics\\"), 0);
    EXPECT_EQ(model.ExtRealRecord(L"D:"), 0);
    EXPECT_EQ(model.ExtGetSnapRecordTalk_Status(), 2);
    EXPECT_EQ(model.ExtTalkback(), 0);
    EXPECT_EQ(model.ExtGetSnapRecordTalk_Status(), 6);
    EXPECT_EQ(model.StopPlayReal(), 0);
    EXPECT_EQ(model.StopPlayReal(), 0) << "stopping twice is harmless";

    std::vector<SimEvent> events = model.takeEvents();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].text, L"cam.local");
    EXPECT_EQ(events[0].type, kEventVideo);
    EXPECT_EQ(events[0].subtype, kStarted);
    EXPECT_EQ(events[1].text, L"C:\\pics\\snap0001.jpg");
    EXPECT_EQ(events[1].type, kEventSnapshot);
    EXPECT_EQ(events[2].text, L"C:\\pics\\snap0002.jpg");
    EXPECT_EQ(events[3].text, L"D:\\record0001.avi");
    EXPECT_EQ(events[3].subtype, kStarted);
    EXPECT_EQ(events[4].type, kEventRecord) << "stopping the stream ends the recording";
    EXPECT_EQ(events[4].subtype, kStopped);
    EXPECT_EQ(events[5].type, kEventVideo);
    EXPECT_EQ(events[5].subtype, kStopped);
    EXPECT_TRUE(model.takeEvents().empty());
}

TEST(Rules, StoredConfigurationComesBack) {
    CameraModel model;
    EXPECT_EQ(model.GetMDBlockStr(), L"");
    EXPECT_EQ(model.OpenMotionDetection(L"0101"), 0);
    EXPECT_EQ(model.GetMDBlockStr(), L"0101");
    EXPECT_EQ(model.ExtSetVideoMaskConfig(1, 2, 3, 4, 5, L"z"), 0);
    EXPECT_EQ(model.ExtGetVideoMaskConfig(), L"1,2,3,4,5,z");
    EXPECT_EQ(model.ExtSetVideoROIConfig(-1, L"r"), 0);
    EXPECT_EQ(model.ExtGetVideoROIConfig(), L"-1,r");
    EXPECT_EQ(model.ExtSetVideoHumanConfig(0, L""), 0);
    EXPECT_EQ(model.ExtGetVideoHumanConfig(), L"0,");
    EXPECT_EQ(model.ExtGetSelectPath(), L"");
    EXPECT_EQ(model.ExtShowPathSelectNew(), 0);
    EXPECT_EQ(model.ExtGetSelectPath(), CameraModel::kSelectedPath);
    EXPECT_EQ(model.GetCtrlVersion(), CameraModel::kVersion);
    EXPECT_EQ(model.ExtGetCtrlVersion(), CameraModel::kVersion);

    EXPECT_EQ(model.SetVideoPlayerSize(L"640", L"480"), 0);
    EXPECT_EQ(model.SetVideoPlayerSize(L"640", L"-480"), -1);
    EXPECT_EQ(model.SetVideoPlayerSize(L"", L"480"), -1);
    EXPECT_EQ(model.SetVideoPlayerSizeAndZoomValue(L"640", L"480", 17), -1);
    EXPECT_EQ(model.SetVideoPlayerSizeAndZoomValue(L"640", L"480", 4), 0);
    EXPECT_EQ(model.zoom(), 4);
    EXPECT_EQ(model.LoadLang(L"http://x/lang.xml", 2), -1);
    EXPECT_EQ(model.LoadLang(L"C:\\lang.xml", 1), 0);
    EXPECT_EQ(model.ExtSoundSwitch(), 1);
    EXPECT_EQ(model.ExtSoundSwitch(), 0);
    EXPECT_EQ(model.OnPlayBackFast(), 1);
    EXPECT_EQ(model.OnPlayBackFast(), 2);
    EXPECT_EQ(model.OnPlayBackFast(), 3);
    EXPECT_EQ(model.OnPlayBackFast(), 3);
    EXPECT_EQ(model.ExtGetPlayBackStatus(), 0);
    EXPECT_EQ(model.OnPlayBackByTime(2, L"2024-01-01 10:00:00", L""), 0);
    EXPECT_EQ(model.ExtGetPlayBackStatus(), 1);
    EXPECT_EQ(model.ExtGetPlayBackTimestamp(), CameraModel::kPlaybackTimestamp);
}

// An instance without COM: records what it raised.
class RecordingCore : public CameraCore {
public:
    LONG play() {
        LONG result = -99;
        serve(
            18, &result, [this] { return model_.PlayRealVideo(L"1", L"0", L"0"); },
            static_cast<BSTR>(nullptr), static_cast<LONG>(1));
        return result;
    }
    HRESULT init(BSTR ip, LONG port, LONG* result) {
        return serve(
            7, result, [&] { return model_.InitCtrl(L"", text(ip), port); }, ip, port);
    }
    HRESULT blocks(BSTR* out) {
        return serveText(22, out, [this] { return model_.GetMDBlockStr(); });
    }
    // The same operation journaling an argument, to make journaling fail.
    HRESULT blocksWith(BSTR argument, BSTR* out) {
        return serveText(
            22, out, [this] { return model_.GetMDBlockStr(); }, argument);
    }
    HRESULT initWith(BSTR argument, LONG* out) {
        return serve(
            7, out, [this] { return model_.InitCtrl(L"", L"", 0); }, argument);
    }
    HRESULT reserved(LONG* out) { return refuse(38, out, E_NOTIMPL); }

    std::vector<QueuedEvent> raised;
    int repaints = 0;

protected:
    long connectedSinks() override { return 1; }
    std::vector<HRESULT> fireEvent(const QueuedEvent& event) override {
        raised.push_back(event);
        return {event.dispid == 1 ? S_OK : S_FALSE};
    }
    void stateChanged() override { ++repaints; }
};

TEST(Instance, JournalsCallsFailuresAndEventsInOrder) {
    JournalFile journal;
    {
        RecordingCore core;
        BSTR ip = SysAllocString(L"10.1.2.3");
        LONG result = -99;
        EXPECT_EQ(core.init(ip, 554, &result), S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(core.init(ip, 554, nullptr), E_POINTER);

        core.failNextCall(7, E_ACCESSDENIED);
        EXPECT_EQ(core.init(ip, 554, &result), E_ACCESSDENIED);
        EXPECT_EQ(result, 0);
        failNextCall(7, static_cast<HRESULT>(0x80041234));
        EXPECT_EQ(core.init(ip, 554, &result), static_cast<HRESULT>(0x80041234));
        EXPECT_EQ(core.init(ip, 554, &result), S_OK) << "a failure request is used up once";
        SysFreeString(ip);

        BSTR blocks = reinterpret_cast<BSTR>(1);
        failNextCall(22, E_FAIL);
        EXPECT_EQ(core.blocks(&blocks), E_FAIL);
        EXPECT_EQ(blocks, nullptr);
        EXPECT_EQ(core.blocks(&blocks), S_OK);
        ASSERT_NE(blocks, nullptr);
        EXPECT_EQ(SysStringLen(blocks), 0u);
        SysFreeString(blocks);
        EXPECT_EQ(core.reserved(&result), E_NOTIMPL);

        EXPECT_EQ(core.play(), 0);
        EXPECT_TRUE(core.raised.empty()) << "events are raised later, from the message window";
        EXPECT_EQ(requestEvent(L"from a test", 3, 7, GetCurrentProcessId()), 1);
        EXPECT_EQ(requestForeignEvent(2, GetCurrentProcessId()), 1);
        pumpMessages(50);
        ASSERT_EQ(core.raised.size(), 3u);
        EXPECT_EQ(core.raised[0].event.text, L"10.1.2.3");
        EXPECT_EQ(core.raised[1].event.text, L"from a test");
        EXPECT_EQ(core.raised[1].event.type, 3);
        EXPECT_EQ(core.raised[1].event.subtype, 7);
        EXPECT_EQ(core.raised[2].dispid, 2);
        EXPECT_GT(core.repaints, 0);
        EXPECT_EQ(core.calls(), 9);
    }
    Records records = journal.records();
    ASSERT_EQ(records.size(), 17u);
    EXPECT_EQ(records[0].kind, JournalRecord::Kind::Life);
    EXPECT_EQ(records[0].name, L"created");
    const JournalRecord& init = records[1];
    EXPECT_EQ(init.pid, GetCurrentProcessId());
    EXPECT_EQ(init.slot, 7);
    EXPECT_EQ(init.name, L"InitCtrl");
    ASSERT_EQ(init.args.size(), 2u);
    EXPECT_EQ(init.args[0], JournalValue::string(L"10.1.2.3"));
    EXPECT_EQ(init.args[1], JournalValue::number(554));
    EXPECT_EQ(*init.result, JournalValue::number(0));
    EXPECT_EQ(records[2].hr, E_POINTER);
    EXPECT_EQ(records[3].hr, E_ACCESSDENIED);
    EXPECT_FALSE(records[3].result.has_value());
    EXPECT_EQ(records[4].hr, static_cast<HRESULT>(0x80041234));
    EXPECT_EQ(records[7].result->text, L"");
    EXPECT_EQ(records[8].name, L"ExtReserved");
    EXPECT_EQ(records[8].hr, E_NOTIMPL);
    EXPECT_EQ(records[9].args[0].kind, JournalValue::Kind::NullText);
    EXPECT_EQ(records[10].kind, JournalRecord::Kind::Event);
    EXPECT_EQ(*records[10].result, JournalValue::number(1)) << "sinks connected";
    EXPECT_EQ(records[11].kind, JournalRecord::Kind::Delivery);
    EXPECT_EQ(records[11].args, std::vector<JournalValue>{JournalValue::number(S_OK)});
    EXPECT_EQ(records[14].name, L"ForeignEvent");
    EXPECT_EQ(records[15].kind, JournalRecord::Kind::Delivery);
    EXPECT_EQ(records[15].args, std::vector<JournalValue>{JournalValue::number(S_FALSE)});
    EXPECT_EQ(records[16].name, L"destroyed");
    EXPECT_EQ(callsOf(records, 7).size(), 5u);
    EXPECT_EQ(countEvents(records), 3u);
}

TEST(Instance, OutValuesAreClearedEvenWhenJournalingFails) {
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "a 64-bit process can allocate the claimed gigabyte and read past the text";
    JournalFile journal;
    RecordingCore core;
    // A BSTR whose length prefix claims a gigabyte: copying it for the journal fails.
    alignas(4) unsigned char storage[8] = {0xF0, 0xFF, 0xFF, 0x7F};
    BSTR huge = reinterpret_cast<BSTR>(storage + 4);
    BSTR text = reinterpret_cast<BSTR>(1); // what a caller's uninitialised BSTR may hold
    EXPECT_EQ(core.blocksWith(huge, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
    LONG result = -99;
    EXPECT_EQ(core.initWith(huge, &result), E_OUTOFMEMORY);
    EXPECT_EQ(result, 0);
}

TEST(Instance, RequestsReachOnlyTheChosenProcessAndLiveInstances) {
    JournalFile journal;
    EXPECT_EQ(requestEvent(L"nobody", 1, 1, GetCurrentProcessId()), 0);
    {
        RecordingCore first, second;
        EXPECT_EQ(findSimulators(GetCurrentProcessId()).size(), 2u);
        EXPECT_EQ(requestEvent(L"both", 1, 1, GetCurrentProcessId()), 2);
        EXPECT_EQ(requestEvent(L"other process", 1, 1, GetCurrentProcessId() + 4), 0);
        pumpMessages(50);
        EXPECT_EQ(first.raised.size(), 1u);
        EXPECT_EQ(second.raised.size(), 1u);
        EXPECT_NE(first.instance(), second.instance());
    }
    EXPECT_TRUE(findSimulators(GetCurrentProcessId()).empty());
}

TEST(Instance, JournalSettingIsRestoredAndFileRemoved) {
    std::wstring path;
    {
        JournalFile journal;
        path = journal.path();
        EXPECT_EQ(journalPath(), path);
        {
            JournalFile inner;
            EXPECT_EQ(journalPath(), inner.path());
            failNextCall(9, E_FAIL);
        }
        EXPECT_EQ(journalPath(), path);
        EXPECT_FALSE(takeRequestedFailure(9).has_value()) << "a finished test leaves no request";
    }
    EXPECT_EQ(journalPath(), L"");
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    RecordingCore unjournaled; // no journal chosen: serving still works
    EXPECT_EQ(unjournaled.play(), -1);
}

// Paints into a 32-bit DIB section and reads the pixels back.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const {
        GdiFlush();
        DWORD v = bits_[y * width_ + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    int countOf(COLORREF colour, int top, int bottom) const {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width_; ++x)
                n += at(x, y) == colour;
        return n;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    DWORD* bits_ = nullptr;
};

TEST(Picture, ShowsTestPatternLiveMarkAndStateText) {
    const int width = 400, height = 300;
    Canvas stopped(width, height), live(width, height);
    ViewState state;
    state.instance = 1;
    paintView(stopped.dc(), RECT{0, 0, width, height}, state);
    state.address = L"192.168.1.64:8091";
    state.live = true;
    state.lastCall = L"PlayRealVideo -> 0";
    paintView(live.dc(), RECT{0, 0, width, height}, state);

    // Colour bars (left: light grey, right: blue) below the title and beside the circle.
    EXPECT_EQ(stopped.at(10, 110), RGB(192, 192, 192));
    EXPECT_EQ(stopped.at(width - 10, 110), RGB(0, 0, 192));
    EXPECT_EQ(stopped.at(width / 2 - 1, 20 + 40), RGB(255, 255, 255)) << "centre cross";
    // The red live mark appears only while live.
    EXPECT_EQ(stopped.countOf(RGB(255, 0, 0), 0, 40), 0);
    EXPECT_GT(live.countOf(RGB(255, 0, 0), 0, 40), 20);
    // Text is drawn in the lower band: its colours appear there.
    EXPECT_GT(live.countOf(RGB(255, 96, 96), height / 2, height), 10) << "the live state line";
    EXPECT_GT(stopped.countOf(RGB(200, 200, 200), height / 2, height), 10) << "stopped line";
    EXPECT_EQ(stateWord(state), L"live");
    // Degenerate sizes paint what fits and nothing else.
    Canvas tiny(3, 2);
    paintView(tiny.dc(), RECT{0, 0, 3, 2}, state);
    paintView(tiny.dc(), RECT{2, 2, 2, 2}, state);
    paintView(tiny.dc(), RECT{5, 5, 1, 1}, state);
    state.recording = state.playingBack = true;
    EXPECT_EQ(stateWord(state), L"live + recording + playback");
}

} // namespace
