#pragma once
// The camera interface of the simulator: every operation at its vtable slot,
// served by the instance core (journal, failure requests, rule of the model).
// Late-bound callers reach the same operations through the type library.

#include "camera_core.h"

#include "camera_sim.h"
#include "dispatch.h"

namespace CameraSim {

class CameraOperations
    : public ATL::IDispatchImpl<IMorvathCtrl, &IID_IMorvathCtrl, &LIBID_MorvathCtrlLib, 1, 0>,
      public CameraCore {
public:
    STDMETHOD(InitCtrl)(BSTR strBaseUrl, BSTR strIp, LONG nPtzPort, LONG* nRet) override;
#ifdef CAMSIM_TEXT_VERSION
    STDMETHOD(GetCtrlVersion)(BSTR* strVersion) override;
#else
    STDMETHOD(GetCtrlVersion)(LONG* nVersion) override;
#endif
    STDMETHOD(LoadLang)(BSTR strUrl, LONG nUrlType, LONG* nRet) override;
    STDMETHOD(SetBufferTick)(LONG nTick, LONG nCount, LONG* nRet) override;
    STDMETHOD(SetBufferTickV2)(LONG nTick, LONG nCount, LONG* nRet) override;
    STDMETHOD(SetDeviceType)(LONG nType, BSTR bsInfo, LONG* nRet) override;
    STDMETHOD(SetUsernamePasswordAndLanguage)
    (BSTR strUser, BSTR strPassword, BSTR strLanguage, LONG* nRet) override;
    STDMETHOD(SetPlayerNum)(BSTR strNum, LONG* nRet) override;
    STDMETHOD(ShowIPConfig)(LONG* nRet) override;
    STDMETHOD(SetVideoPlayerSize)(BSTR strWidth, BSTR strHeight, LONG* nRet) override;
    STDMETHOD(DestroyOrvela)(LONG* nRet) override;
    STDMETHOD(PlayRealVideo)(BSTR strChannel, BSTR strStream, BSTR strMode, LONG* nRet) override;
    STDMETHOD(StopPlayReal)(LONG* nRet) override;
    STDMETHOD(OpenMotionDetection)(BSTR strBlocks, LONG* nRet) override;
    STDMETHOD(ChangeMDNum)(BSTR strNum, LONG* nRet) override;
    STDMETHOD(GetMDBlockStr)(BSTR* strBlocks) override;
    STDMETHOD(ExtSnapPicture)(BSTR strFolder, LONG* nRet) override;
    STDMETHOD(ExtRealRecord)(BSTR strFolder, LONG* nRet) override;
    STDMETHOD(ExtTalkback)(LONG* nRet) override;
    STDMETHOD(ExtGetDiskList)(LONG* nRet) override;
    STDMETHOD(ExtVideoFullFill)(BSTR strFill, LONG* nRet) override;
    STDMETHOD(ExtVideoFullScreen)(LONG* nRet) override;
    STDMETHOD(ExtGetSnapRecordTalk_Status)(LONG* nStatus) override;
    STDMETHOD(ExtVideoExitFullScreen)(LONG* nRet) override;
    STDMETHOD(OnPlayBackFile)(BSTR strFile, BSTR strStart, BSTR strEnd, LONG* nRet) override;
    STDMETHOD(OnStopPlayBack)(LONG* nRet) override;
    STDMETHOD(OnPlayBackFast)(LONG* nRet) override;
    STDMETHOD(OnPlayBackSlow)(LONG* nRet) override;
    STDMETHOD(ExtGetPlayBackStatus)(LONG* nStatus) override;
    STDMETHOD(ExtSoundSwitch)(LONG* nRet) override;
    STDMETHOD(ExtVideoZoom)(LONG nZoom, LONG* nRet) override;
    STDMETHOD(ExtReserved)(LONG* nRet) override;
    STDMETHOD(ExtOpenFolder)(BSTR strFolder, LONG* nRet) override;
    STDMETHOD(ExtSetPlayMode)(LONG nMode, LONG* nRet) override;
    STDMETHOD(ExtGetCtrlVersion)(LONG* nVersion) override;
    STDMETHOD(ExtSetVideoMaskConfig)
    (LONG nEnable, LONG nLeft, LONG nTop, LONG nWidth, LONG nHeight, BSTR strArea,
     LONG* nRet) override;
    STDMETHOD(ExtGetVideoMaskConfig)(BSTR* strConfig) override;
    STDMETHOD(ExtGetPublicDocumentsrPath)(BSTR* strPath) override;
    STDMETHOD(ExtGetSelectPath)(BSTR* strPath) override;
    STDMETHOD(ExtShowPathSelectNew)(LONG* nRet) override;
    STDMETHOD(OnPlayBackByTime)(LONG nChannel, BSTR strStart, BSTR strEnd, LONG* nRet) override;
    STDMETHOD(ExtGetPlayBackTimestamp)(LONG* nTimestamp) override;
    STDMETHOD(ExtSetVideoROIConfig)(LONG nEnable, BSTR strConfig, LONG* nRet) override;
    STDMETHOD(ExtGetVideoROIConfig)(BSTR* strConfig) override;
    STDMETHOD(ExtSetVideoHumanConfig)(LONG nEnable, BSTR strConfig, LONG* nRet) override;
    STDMETHOD(ExtGetVideoHumanConfig)(BSTR* strConfig) override;
    STDMETHOD(SetVideoPlayerSizeAndZoomValue)
    (BSTR strWidth, BSTR strHeight, LONG nZoom, LONG* nRet) override;
};

} // namespace CameraSim
