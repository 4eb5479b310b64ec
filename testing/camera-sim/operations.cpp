#include "operations.h"

#include <cwchar>

namespace CameraSim {

namespace {

const wchar_t* const kNames[kLastSlot - kFirstSlot + 1] = {
    L"InitCtrl",
    L"GetCtrlVersion",
    L"LoadLang",
    L"SetBufferTick",
    L"SetBufferTickV2",
    L"SetDeviceType",
    L"SetUsernamePasswordAndLanguage",
    L"SetPlayerNum",
    L"ShowIPConfig",
    L"SetVideoPlayerSize",
    L"DestroyOrvela",
    L"PlayRealVideo",
    L"StopPlayReal",
    L"OpenMotionDetection",
    L"ChangeMDNum",
    L"GetMDBlockStr",
    L"ExtSnapPicture",
    L"ExtRealRecord",
    L"ExtTalkback",
    L"ExtGetDiskList",
    L"ExtVideoFullFill",
    L"ExtVideoFullScreen",
    L"ExtGetSnapRecordTalk_Status",
    L"ExtVideoExitFullScreen",
    L"OnPlayBackFile",
    L"OnStopPlayBack",
    L"OnPlayBackFast",
    L"OnPlayBackSlow",
    L"ExtGetPlayBackStatus",
    L"ExtSoundSwitch",
    L"ExtVideoZoom",
    L"ExtReserved",
    L"ExtOpenFolder",
    L"ExtSetPlayMode",
    L"ExtGetCtrlVersion",
    L"ExtSetVideoMaskConfig",
    L"ExtGetVideoMaskConfig",
    L"ExtGetPublicDocumentsrPath",
    L"ExtGetSelectPath",
    L"ExtShowPathSelectNew",
    L"OnPlayBackByTime",
    L"ExtGetPlayBackTimestamp",
    L"ExtSetVideoROIConfig",
    L"ExtGetVideoROIConfig",
    L"ExtSetVideoHumanConfig",
    L"ExtGetVideoHumanConfig",
    L"SetVideoPlayerSizeAndZoomValue",
};

} // namespace

const wchar_t* operationName(int slot) noexcept {
    if (slot < kFirstSlot || slot > kLastSlot)
        return nullptr;
    return kNames[slot - kFirstSlot];
}

int operationSlot(const wchar_t* name) noexcept {
    if (!name)
        return 0;
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
        if (std::wcscmp(kNames[slot - kFirstSlot], name) == 0)
            return slot;
    return 0;
}

} // namespace CameraSim
