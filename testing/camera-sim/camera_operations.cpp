#include "camera_operations.h"

namespace CameraSim {

STDMETHODIMP CameraOperations::InitCtrl(BSTR strBaseUrl, BSTR strIp, LONG nPtzPort, LONG* nRet) {
    return serve(
        7, nRet, [&] { return model_.InitCtrl(text(strBaseUrl), text(strIp), nPtzPort); },
        strBaseUrl, strIp, nPtzPort);
}

#ifdef CAMSIM_TEXT_VERSION
// A leading zero tells a text passed on unchanged from a number formatted.
STDMETHODIMP CameraOperations::GetCtrlVersion(BSTR* strVersion) {
    return serveText(8, strVersion,
                     [&] { return L"0" + std::to_wstring(model_.GetCtrlVersion()); });
}
#else
STDMETHODIMP CameraOperations::GetCtrlVersion(LONG* nVersion) {
    return serve(8, nVersion, [&] { return model_.GetCtrlVersion(); });
}
#endif

STDMETHODIMP CameraOperations::LoadLang(BSTR strUrl, LONG nUrlType, LONG* nRet) {
    return serve(
        9, nRet, [&] { return model_.LoadLang(text(strUrl), nUrlType); }, strUrl, nUrlType);
}

STDMETHODIMP CameraOperations::SetBufferTick(LONG nTick, LONG nCount, LONG* nRet) {
    return serve(
        10, nRet, [&] { return model_.SetBufferTick(nTick, nCount); }, nTick, nCount);
}

STDMETHODIMP CameraOperations::SetBufferTickV2(LONG nTick, LONG nCount, LONG* nRet) {
    return serve(
        11, nRet, [&] { return model_.SetBufferTickV2(nTick, nCount); }, nTick, nCount);
}

STDMETHODIMP CameraOperations::SetDeviceType(LONG nType, BSTR bsInfo, LONG* nRet) {
    return serve(
        12, nRet, [&] { return model_.SetDeviceType(nType, text(bsInfo)); }, nType, bsInfo);
}

STDMETHODIMP CameraOperations::SetUsernamePasswordAndLanguage(BSTR strUser, BSTR strPassword,
                                                              BSTR strLanguage, LONG* nRet) {
    return serve(
        13, nRet,
        [&] {
            return model_.SetUsernamePasswordAndLanguage(text(strUser), text(strPassword),
                                                         text(strLanguage));
        },
        strUser, strPassword, strLanguage);
}

STDMETHODIMP CameraOperations::SetPlayerNum(BSTR strNum, LONG* nRet) {
    return serve(
        14, nRet, [&] { return model_.SetPlayerNum(text(strNum)); }, strNum);
}

STDMETHODIMP CameraOperations::ShowIPConfig(LONG* nRet) {
    return serve(15, nRet, [&] { return model_.ShowIPConfig(); });
}

STDMETHODIMP CameraOperations::SetVideoPlayerSize(BSTR strWidth, BSTR strHeight, LONG* nRet) {
    return serve(
        16, nRet, [&] { return model_.SetVideoPlayerSize(text(strWidth), text(strHeight)); },
        strWidth, strHeight);
}

STDMETHODIMP CameraOperations::DestroyOrvela(LONG* nRet) {
    return serve(17, nRet, [&] { return model_.DestroyOrvela(); });
}

STDMETHODIMP CameraOperations::PlayRealVideo(BSTR strChannel, BSTR strStream, BSTR strMode,
                                             LONG* nRet) {
    return serve(
        18, nRet,
        [&] { return model_.PlayRealVideo(text(strChannel), text(strStream), text(strMode)); },
        strChannel, strStream, strMode);
}

STDMETHODIMP CameraOperations::StopPlayReal(LONG* nRet) {
    return serve(19, nRet, [&] { return model_.StopPlayReal(); });
}

STDMETHODIMP CameraOperations::OpenMotionDetection(BSTR strBlocks, LONG* nRet) {
    return serve(
        20, nRet, [&] { return model_.OpenMotionDetection(text(strBlocks)); }, strBlocks);
}

STDMETHODIMP CameraOperations::ChangeMDNum(BSTR strNum, LONG* nRet) {
    return serve(
        21, nRet, [&] { return model_.ChangeMDNum(text(strNum)); }, strNum);
}

STDMETHODIMP CameraOperations::GetMDBlockStr(BSTR* strBlocks) {
    return serveText(22, strBlocks, [&] { return model_.GetMDBlockStr(); });
}

STDMETHODIMP CameraOperations::ExtSnapPicture(BSTR strFolder, LONG* nRet) {
    return serve(
        23, nRet, [&] { return model_.ExtSnapPicture(text(strFolder)); }, strFolder);
}

STDMETHODIMP CameraOperations::ExtRealRecord(BSTR strFolder, LONG* nRet) {
    return serve(
        24, nRet, [&] { return model_.ExtRealRecord(text(strFolder)); }, strFolder);
}

STDMETHODIMP CameraOperations::ExtTalkback(LONG* nRet) {
    return serve(25, nRet, [&] { return model_.ExtTalkback(); });
}

STDMETHODIMP CameraOperations::ExtGetDiskList(LONG* nRet) {
    return serve(26, nRet, [&] { return model_.ExtGetDiskList(); });
}

STDMETHODIMP CameraOperations::ExtVideoFullFill(BSTR strFill, LONG* nRet) {
    return serve(
        27, nRet, [&] { return model_.ExtVideoFullFill(text(strFill)); }, strFill);
}

STDMETHODIMP CameraOperations::ExtVideoFullScreen(LONG* nRet) {
    return serve(28, nRet, [&] { return model_.ExtVideoFullScreen(); });
}

STDMETHODIMP CameraOperations::ExtGetSnapRecordTalk_Status(LONG* nStatus) {
    return serve(29, nStatus, [&] { return model_.ExtGetSnapRecordTalk_Status(); });
}

STDMETHODIMP CameraOperations::ExtVideoExitFullScreen(LONG* nRet) {
    return serve(30, nRet, [&] { return model_.ExtVideoExitFullScreen(); });
}

STDMETHODIMP CameraOperations::OnPlayBackFile(BSTR strFile, BSTR strStart, BSTR strEnd,
                                              LONG* nRet) {
    return serve(
        31, nRet,
        [&] { return model_.OnPlayBackFile(text(strFile), text(strStart), text(strEnd)); }, strFile,
        strStart, strEnd);
}

STDMETHODIMP CameraOperations::OnStopPlayBack(LONG* nRet) {
    return serve(32, nRet, [&] { return model_.OnStopPlayBack(); });
}

STDMETHODIMP CameraOperations::OnPlayBackFast(LONG* nRet) {
    return serve(33, nRet, [&] { return model_.OnPlayBackFast(); });
}

STDMETHODIMP CameraOperations::OnPlayBackSlow(LONG* nRet) {
    return serve(34, nRet, [&] { return model_.OnPlayBackSlow(); });
}

STDMETHODIMP CameraOperations::ExtGetPlayBackStatus(LONG* nStatus) {
    return serve(35, nStatus, [&] { return model_.ExtGetPlayBackStatus(); });
}

STDMETHODIMP CameraOperations::ExtSoundSwitch(LONG* nRet) {
    return serve(36, nRet, [&] { return model_.ExtSoundSwitch(); });
}

STDMETHODIMP CameraOperations::ExtVideoZoom(LONG nZoom, LONG* nRet) {
    return serve(
        37, nRet, [&] { return model_.ExtVideoZoom(nZoom); }, nZoom);
}

STDMETHODIMP CameraOperations::ExtReserved(LONG* nRet) {
    return refuse(38, nRet, E_NOTIMPL);
}

STDMETHODIMP CameraOperations::ExtOpenFolder(BSTR strFolder, LONG* nRet) {
    return serve(
        39, nRet, [&] { return model_.ExtOpenFolder(text(strFolder)); }, strFolder);
}

STDMETHODIMP CameraOperations::ExtSetPlayMode(LONG nMode, LONG* nRet) {
    return serve(
        40, nRet, [&] { return model_.ExtSetPlayMode(nMode); }, nMode);
}

STDMETHODIMP CameraOperations::ExtGetCtrlVersion(LONG* nVersion) {
    return serve(41, nVersion, [&] { return model_.ExtGetCtrlVersion(); });
}

STDMETHODIMP CameraOperations::ExtSetVideoMaskConfig(LONG nEnable, LONG nLeft, LONG nTop,
                                                     LONG nWidth, LONG nHeight, BSTR strArea,
                                                     LONG* nRet) {
    return serve(
        42, nRet,
        [&] {
            return model_.ExtSetVideoMaskConfig(nEnable, nLeft, nTop, nWidth, nHeight,
                                                text(strArea));
        },
        nEnable, nLeft, nTop, nWidth, nHeight, strArea);
}

STDMETHODIMP CameraOperations::ExtGetVideoMaskConfig(BSTR* strConfig) {
    return serveText(43, strConfig, [&] { return model_.ExtGetVideoMaskConfig(); });
}

STDMETHODIMP CameraOperations::ExtGetPublicDocumentsrPath(BSTR* strPath) {
    return serveText(44, strPath, [&] { return model_.ExtGetPublicDocumentsrPath(); });
}

STDMETHODIMP CameraOperations::ExtGetSelectPath(BSTR* strPath) {
    return serveText(45, strPath, [&] { return model_.ExtGetSelectPath(); });
}

STDMETHODIMP CameraOperations::ExtShowPathSelectNew(LONG* nRet) {
    return serve(46, nRet, [&] { return model_.ExtShowPathSelectNew(); });
}

STDMETHODIMP CameraOperations::OnPlayBackByTime(LONG nChannel, BSTR strStart, BSTR strEnd,
                                                LONG* nRet) {
    return serve(
        47, nRet, [&] { return model_.OnPlayBackByTime(nChannel, text(strStart), text(strEnd)); },
        nChannel, strStart, strEnd);
}

STDMETHODIMP CameraOperations::ExtGetPlayBackTimestamp(LONG* nTimestamp) {
    return serve(48, nTimestamp, [&] { return model_.ExtGetPlayBackTimestamp(); });
}

STDMETHODIMP CameraOperations::ExtSetVideoROIConfig(LONG nEnable, BSTR strConfig, LONG* nRet) {
    return serve(
        49, nRet, [&] { return model_.ExtSetVideoROIConfig(nEnable, text(strConfig)); }, nEnable,
        strConfig);
}

STDMETHODIMP CameraOperations::ExtGetVideoROIConfig(BSTR* strConfig) {
    return serveText(50, strConfig, [&] { return model_.ExtGetVideoROIConfig(); });
}

STDMETHODIMP CameraOperations::ExtSetVideoHumanConfig(LONG nEnable, BSTR strConfig, LONG* nRet) {
    return serve(
        51, nRet, [&] { return model_.ExtSetVideoHumanConfig(nEnable, text(strConfig)); }, nEnable,
        strConfig);
}

STDMETHODIMP CameraOperations::ExtGetVideoHumanConfig(BSTR* strConfig) {
    return serveText(52, strConfig, [&] { return model_.ExtGetVideoHumanConfig(); });
}

STDMETHODIMP CameraOperations::SetVideoPlayerSizeAndZoomValue(BSTR strWidth, BSTR strHeight,
                                                              LONG nZoom, LONG* nRet) {
    return serve(
        53, nRet,
        [&] {
            return model_.SetVideoPlayerSizeAndZoomValue(text(strWidth), text(strHeight), nZoom);
        },
        strWidth, strHeight, nZoom);
}

} // namespace CameraSim
