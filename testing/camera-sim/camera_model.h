#pragma once
// The simulated camera: its configuration, its running state and the fixed
// rule by which every operation answers. No COM here, so the rules stay
// readable; the control wraps each operation with journaling and failure
// requests. A null text argument counts as the empty text.
//
// Results: 0 is success, -1 a refused value, -2 a malformed camera address,
// -3 a port out of range. Operations that need a running stream answer -1
// without one.

#include <windows.h>

#include <string>
#include <vector>

namespace CameraSim {

struct SimEvent {
    std::wstring text;
    LONG type = 0;
    LONG subtype = 0;
};

class CameraModel {
public:
    // What GetCtrlVersion and ExtGetCtrlVersion answer: 2.1.0 as major*10000 + minor*100 + patch.
    static constexpr LONG kVersion = 20100;
    static constexpr LONG kPlaybackTimestamp = 1700000000;
    static const wchar_t kPublicDocumentsPath[];
    static const wchar_t kSelectedPath[];

    LONG InitCtrl(const std::wstring& baseUrl, const std::wstring& ip, LONG port);
    LONG GetCtrlVersion() const { return kVersion; }
    LONG LoadLang(const std::wstring& url, LONG urlType);
    LONG SetBufferTick(LONG tick, LONG count);
    LONG SetBufferTickV2(LONG tick, LONG count);
    LONG SetDeviceType(LONG type, const std::wstring& info);
    LONG SetUsernamePasswordAndLanguage(const std::wstring& user, const std::wstring& password,
                                        const std::wstring& language);
    LONG SetPlayerNum(const std::wstring& num);
    LONG ShowIPConfig() { return 0; }
    LONG SetVideoPlayerSize(const std::wstring& width, const std::wstring& height);
    LONG DestroyOrvela();
    LONG PlayRealVideo(const std::wstring& channel, const std::wstring& stream,
                       const std::wstring& mode);
    LONG StopPlayReal();
    LONG OpenMotionDetection(const std::wstring& blocks);
    LONG ChangeMDNum(const std::wstring& num);
    std::wstring GetMDBlockStr() const { return motionBlocks_; }
    LONG ExtSnapPicture(const std::wstring& folder);
    LONG ExtRealRecord(const std::wstring& folder);
    LONG ExtTalkback();
    LONG ExtGetDiskList() const { return 1; }
    LONG ExtVideoFullFill(const std::wstring& fill);
    LONG ExtVideoFullScreen();
    LONG ExtGetSnapRecordTalk_Status() const;
    LONG ExtVideoExitFullScreen();
    LONG OnPlayBackFile(const std::wstring& file, const std::wstring& start,
                        const std::wstring& end);
    LONG OnStopPlayBack();
    LONG OnPlayBackFast();
    LONG OnPlayBackSlow();
    LONG ExtGetPlayBackStatus() const { return playingBack_ ? 1 : 0; }
    LONG ExtSoundSwitch();
    LONG ExtVideoZoom(LONG zoom);
    LONG ExtOpenFolder(const std::wstring& folder);
    LONG ExtSetPlayMode(LONG mode);
    LONG ExtGetCtrlVersion() const { return kVersion; }
    LONG ExtSetVideoMaskConfig(LONG enable, LONG left, LONG top, LONG width, LONG height,
                               const std::wstring& area);
    std::wstring ExtGetVideoMaskConfig() const { return maskConfig_; }
    std::wstring ExtGetPublicDocumentsrPath() const { return kPublicDocumentsPath; }
    std::wstring ExtGetSelectPath() const { return selectedPath_; }
    LONG ExtShowPathSelectNew();
    LONG OnPlayBackByTime(LONG channel, const std::wstring& start, const std::wstring& end);
    LONG ExtGetPlayBackTimestamp() const { return playingBack_ ? kPlaybackTimestamp : 0; }
    LONG ExtSetVideoROIConfig(LONG enable, const std::wstring& config);
    std::wstring ExtGetVideoROIConfig() const { return roiConfig_; }
    LONG ExtSetVideoHumanConfig(LONG enable, const std::wstring& config);
    std::wstring ExtGetVideoHumanConfig() const { return humanConfig_; }
    LONG SetVideoPlayerSizeAndZoomValue(const std::wstring& width, const std::wstring& height,
                                        LONG zoom);

    // Events that the operations since the last call produced, in order.
    std::vector<SimEvent> takeEvents();

    // State that the control paints.
    bool initialised() const { return initialised_; }
    bool live() const { return live_; }
    bool recording() const { return recording_; }
    bool playingBack() const { return playingBack_; }
    bool fullScreen() const { return fullScreen_; }
    const std::wstring& address() const { return ip_; }
    LONG port() const { return port_; }
    const std::wstring& baseUrl() const { return baseUrl_; }
    LONG zoom() const { return zoom_; }
    LONG snapshots() const { return snapshots_; }

    static bool isWellFormedAddress(const std::wstring& address);
    // A decimal number without sign, in [low, high].
    static bool parseDecimal(const std::wstring& text, LONG low, LONG high, LONG& value);

private:
    void emit(std::wstring text, LONG type, LONG subtype);
    std::wstring numberedPath(const std::wstring& folder, const wchar_t* stem, LONG number,
                              const wchar_t* extension) const;

    bool initialised_ = false;
    std::wstring baseUrl_, ip_;
    LONG port_ = 0;
    std::wstring langUrl_;
    LONG langType_ = 0;
    LONG bufferTick_ = 0, bufferCount_ = 0, bufferTickV2_ = 0, bufferCountV2_ = 0;
    LONG deviceType_ = 0;
    std::wstring deviceInfo_, user_, password_, language_;
    LONG players_ = 1;
    LONG playerWidth_ = 0, playerHeight_ = 0;
    bool live_ = false, recording_ = false, talking_ = false, playingBack_ = false;
    bool fullScreen_ = false, soundOn_ = false;
    std::wstring motionBlocks_;
    LONG motionNum_ = 0;
    LONG snapshots_ = 0, recordings_ = 0;
    std::wstring recordPath_, fill_;
    LONG playbackSpeed_ = 0;
    LONG zoom_ = 1;
    LONG playMode_ = 0;
    std::wstring maskConfig_, selectedPath_, roiConfig_, humanConfig_;
    std::vector<SimEvent> events_;
};

} // namespace CameraSim
