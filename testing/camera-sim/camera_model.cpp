#include "camera_model.h"

#include "sim_settings.h"

#include <algorithm>
#include <cwchar>

namespace CameraSim {

const wchar_t CameraModel::kPublicDocumentsPath[] = L"C:\\Users\\Public\\Documents";
// Non-ASCII on purpose: this path comes back as UTF-16 unchanged.
const wchar_t CameraModel::kSelectedPath[] = L"C:\\Users\\Public\\Vid\u00E9os\\\u30AB\u30E1\u30E9";

namespace {

constexpr LONG kRefused = -1;
constexpr LONG kBadAddress = -2;
constexpr LONG kBadPort = -3;
constexpr LONG kMaxPlaybackSpeed = 3;

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}
bool isAlpha(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

std::vector<std::wstring> splitLabels(const std::wstring& text) {
    std::vector<std::wstring> labels;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find(L'.', start);
        labels.push_back(text.substr(start, dot == std::wstring::npos ? dot : dot - start));
        if (dot == std::wstring::npos)
            return labels;
        start = dot + 1;
    }
}

} // namespace

bool CameraModel::parseDecimal(const std::wstring& text, LONG low, LONG high, LONG& value) {
    if (text.empty() || text.size() > 9)
        return false;
    LONG v = 0;
    for (wchar_t c : text) {
        if (!isDigit(c))
            return false;
        v = v * 10 + (c - L'0');
    }
    if (v < low || v > high)
        return false;
    value = v;
    return true;
}

// A dotted IPv4 address, or a host name made of letters, digits and inner
// hyphens; a name whose labels are all numeric must be a valid IPv4 address.
bool CameraModel::isWellFormedAddress(const std::wstring& address) {
    if (address.empty() || address.size() > 253)
        return false;
    std::vector<std::wstring> labels = splitLabels(address);
    bool allNumeric = std::all_of(labels.begin(), labels.end(), [](const std::wstring& l) {
        return !l.empty() && std::all_of(l.begin(), l.end(), isDigit);
    });
    if (allNumeric) {
        if (labels.size() != 4)
            return false;
        LONG part = 0;
        return std::all_of(labels.begin(), labels.end(), [&](const std::wstring& l) {
            return l.size() <= 3 && parseDecimal(l, 0, 255, part);
        });
    }
    return std::all_of(labels.begin(), labels.end(), [](const std::wstring& l) {
        if (l.empty() || l.size() > 63 || l.front() == L'-' || l.back() == L'-')
            return false;
        return std::all_of(l.begin(), l.end(),
                           [](wchar_t c) { return isAlpha(c) || isDigit(c) || c == L'-'; });
    });
}

void CameraModel::emit(std::wstring text, LONG type, LONG subtype) {
    events_.push_back(SimEvent{std::move(text), type, subtype});
}

std::vector<SimEvent> CameraModel::takeEvents() {
    std::vector<SimEvent> taken;
    taken.swap(events_);
    return taken;
}

std::wstring CameraModel::numberedPath(const std::wstring& folder, const wchar_t* stem, LONG number,
                                       const wchar_t* extension) const {
    wchar_t name[32];
    std::swprintf(name, 32, L"%ls%04ld.%ls", stem, static_cast<long>(number), extension);
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    return path + name;
}

LONG CameraModel::InitCtrl(const std::wstring& baseUrl, const std::wstring& ip, LONG port) {
    if (!isWellFormedAddress(ip))
        return kBadAddress;
    if (port < 1 || port > 65535)
        return kBadPort;
    baseUrl_ = baseUrl;
    ip_ = ip;
    port_ = port;
    initialised_ = true;
    return 0;
}

LONG CameraModel::LoadLang(const std::wstring& url, LONG urlType) {
    if (url.empty() || (urlType != 0 && urlType != 1))
        return kRefused;
    langUrl_ = url;
    langType_ = urlType;
    return 0;
}

LONG CameraModel::SetBufferTick(LONG tick, LONG count) {
    if (tick <= 0 || count <= 0)
        return kRefused;
    bufferTick_ = tick;
    bufferCount_ = count;
    return 0;
}

LONG CameraModel::SetBufferTickV2(LONG tick, LONG count) {
    if (tick <= 0 || count <= 0)
        return kRefused;
    bufferTickV2_ = tick;
    bufferCountV2_ = count;
    return 0;
}

LONG CameraModel::SetDeviceType(LONG type, const std::wstring& info) {
    if (type < 0)
        return kRefused;
    deviceType_ = type;
    deviceInfo_ = info;
    return 0;
}

LONG CameraModel::SetUsernamePasswordAndLanguage(const std::wstring& user,
                                                 const std::wstring& password,
                                                 const std::wstring& language) {
    if (user.empty())
        return kRefused;
    user_ = user;
    password_ = password;
    language_ = language;
    return 0;
}

LONG CameraModel::SetPlayerNum(const std::wstring& num) {
    return parseDecimal(num, 1, 64, players_) ? 0 : kRefused;
}

LONG CameraModel::SetVideoPlayerSize(const std::wstring& width, const std::wstring& height) {
    LONG w = 0, h = 0;
    if (!parseDecimal(width, 1, 10000, w) || !parseDecimal(height, 1, 10000, h))
        return kRefused;
    playerWidth_ = w;
    playerHeight_ = h;
    return 0;
}

LONG CameraModel::DestroyOrvela() {
    initialised_ = live_ = recording_ = talking_ = playingBack_ = fullScreen_ = false;
    return 0;
}

LONG CameraModel::PlayRealVideo(const std::wstring&, const std::wstring&, const std::wstring&) {
    if (!initialised_)
        return kRefused;
    live_ = true;
    emit(ip_, kEventVideo, kStarted);
    return 0;
}

LONG CameraModel::StopPlayReal() {
    if (live_) {
        live_ = false;
        if (recording_) {
            recording_ = false;
            emit(recordPath_, kEventRecord, kStopped);
        }
        emit(ip_, kEventVideo, kStopped);
    }
    return 0;
}

LONG CameraModel::OpenMotionDetection(const std::wstring& blocks) {
    motionBlocks_ = blocks;
    return 0;
}

LONG CameraModel::ChangeMDNum(const std::wstring& num) {
    return parseDecimal(num, 0, 1000000, motionNum_) ? 0 : kRefused;
}

LONG CameraModel::ExtSnapPicture(const std::wstring& folder) {
    if (!live_)
        return kRefused;
    ++snapshots_;
    emit(numberedPath(folder, L"snap", snapshots_, L"jpg"), kEventSnapshot, 0);
    return 0;
}

LONG CameraModel::ExtRealRecord(const std::wstring& folder) {
    if (!live_)
        return kRefused;
    if (recording_) {
        recording_ = false;
        emit(recordPath_, kEventRecord, kStopped);
    } else {
        recording_ = true;
        recordPath_ = numberedPath(folder, L"record", ++recordings_, L"avi");
        emit(recordPath_, kEventRecord, kStarted);
    }
    return 0;
}

LONG CameraModel::ExtTalkback() {
    talking_ = !talking_;
    return 0;
}

LONG CameraModel::ExtVideoFullFill(const std::wstring& fill) {
    fill_ = fill;
    return 0;
}

LONG CameraModel::ExtVideoFullScreen() {
    fullScreen_ = true;
    return 0;
}

LONG CameraModel::ExtGetSnapRecordTalk_Status() const {
    return (recording_ ? 2 : 0) | (talking_ ? 4 : 0);
}

LONG CameraModel::ExtVideoExitFullScreen() {
    fullScreen_ = false;
    return 0;
}

LONG CameraModel::OnPlayBackFile(const std::wstring& file, const std::wstring&,
                                 const std::wstring&) {
    if (file.empty())
        return kRefused;
    playingBack_ = true;
    playbackSpeed_ = 0;
    emit(file, kEventPlayback, kStarted);
    return 0;
}

LONG CameraModel::OnStopPlayBack() {
    if (playingBack_) {
        playingBack_ = false;
        emit(L"", kEventPlayback, kStopped);
    }
    return 0;
}

LONG CameraModel::OnPlayBackFast() {
    playbackSpeed_ = std::min(playbackSpeed_ + 1, kMaxPlaybackSpeed);
    return playbackSpeed_;
}

LONG CameraModel::OnPlayBackSlow() {
    playbackSpeed_ = std::max(playbackSpeed_ - 1, -kMaxPlaybackSpeed);
    return playbackSpeed_;
}

LONG CameraModel::ExtSoundSwitch() {
    soundOn_ = !soundOn_;
    return soundOn_ ? 1 : 0;
}

LONG CameraModel::ExtVideoZoom(LONG zoom) {
    if (zoom < 1 || zoom > 16)
        return kRefused;
    zoom_ = zoom;
    return 0;
}

LONG CameraModel::ExtOpenFolder(const std::wstring& folder) {
    return folder.empty() ? kRefused : 0;
}

LONG CameraModel::ExtSetPlayMode(LONG mode) {
    if (mode < 0 || mode > 2)
        return kRefused;
    playMode_ = mode;
    return 0;
}

LONG CameraModel::ExtSetVideoMaskConfig(LONG enable, LONG left, LONG top, LONG width, LONG height,
                                        const std::wstring& area) {
    maskConfig_ = std::to_wstring(enable) + L"," + std::to_wstring(left) + L"," +
                  std::to_wstring(top) + L"," + std::to_wstring(width) + L"," +
                  std::to_wstring(height) + L"," + area;
    return 0;
}

LONG CameraModel::ExtShowPathSelectNew() {
    selectedPath_ = kSelectedPath;
    return 0;
}

LONG CameraModel::OnPlayBackByTime(LONG channel, const std::wstring& start, const std::wstring&) {
    if (channel < 0 || start.empty())
        return kRefused;
    playingBack_ = true;
    playbackSpeed_ = 0;
    emit(start, kEventPlayback, kStarted);
    return 0;
}

LONG CameraModel::ExtSetVideoROIConfig(LONG enable, const std::wstring& config) {
    roiConfig_ = std::to_wstring(enable) + L"," + config;
    return 0;
}

LONG CameraModel::ExtSetVideoHumanConfig(LONG enable, const std::wstring& config) {
    humanConfig_ = std::to_wstring(enable) + L"," + config;
    return 0;
}

LONG CameraModel::SetVideoPlayerSizeAndZoomValue(const std::wstring& width,
                                                 const std::wstring& height, LONG zoom) {
    LONG w = 0, h = 0;
    if (!parseDecimal(width, 1, 10000, w) || !parseDecimal(height, 1, 10000, h) || zoom < 1 ||
        zoom > 16)
        return kRefused;
    playerWidth_ = w;
    playerHeight_ = h;
    zoom_ = zoom;
    return 0;
}

} // namespace CameraSim
