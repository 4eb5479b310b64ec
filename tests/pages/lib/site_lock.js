// The site lock seen from a page: every camera member of the plug-in with
// arguments of the right kinds (t: text, n: number), and the refusal it must
// meet on a page that is not allowed. Needs check.js.
var cameraMembers = [
    "InitCtrl:ttn", "GetCtrlVersion:", "LoadLang:tn", "SetBufferTick:nn", "SetBufferTickV2:nn",
    "SetDeviceType:nt", "SetUsernamePasswordAndLanguage:ttt", "SetPlayerNum:t", "ShowIPConfig:",
    "SetVideoPlayerSize:tt", "DestroyOrvela:", "PlayRealVideo:ttt", "StopPlayReal:",
    "OpenMotionDetection:t", "ChangeMDNum:t", "GetMDBlockStr:", "ExtSnapPicture:t",
    "ExtRealRecord:t", "ExtTalkback:", "ExtGetDiskList:", "ExtVideoFullFill:t",
    "ExtVideoFullScreen:", "ExtGetSnapRecordTalk_Status:", "ExtVideoExitFullScreen:",
    "OnPlayBackFile:ttt", "OnStopPlayBack:", "OnPlayBackFast:", "OnPlayBackSlow:",
    "ExtGetPlayBackStatus:", "ExtSoundSwitch:", "ExtVideoZoom:n", "ExtOpenFolder:t",
    "ExtSetPlayMode:n", "ExtGetCtrlVersion:", "ExtSetVideoMaskConfig:nnnnnt",
    "ExtGetVideoMaskConfig:", "ExtGetPublicDocumentsrPath:", "ExtGetSelectPath:",
    "ExtShowPathSelectNew:", "OnPlayBackByTime:ntt", "ExtGetPlayBackTimestamp:",
    "ExtSetVideoROIConfig:nt", "ExtGetVideoROIConfig:", "ExtSetVideoHumanConfig:nt",
    "ExtGetVideoHumanConfig:", "SetVideoPlayerSizeAndZoomValue:ttn"];

// The bridge's camera operations.
var bridgeMembers = ["InitCtrl:ttn", "GetCtrlVersion:", "LoadLang:tn", "SetBufferTick:nn",
                     "SetBufferTickV2:nn", "SetDeviceType:nt"];

// Calls a member given as "Name:kinds"; answers {value} or {error}.
function callMember(element, member) {
    var name = member.split(":")[0], kinds = member.split(":")[1], a = [];
    for (var i = 0; i < kinds.length; ++i)
        a.push(kinds.charAt(i) === "t" ? "1" : 1);
    try {
        switch (a.length) {
        case 0: return {value: element[name]()};
        case 1: return {value: element[name](a[0])};
        case 2: return {value: element[name](a[0], a[1])};
        case 3: return {value: element[name](a[0], a[1], a[2])};
        default: return {value: element[name](a[0], a[1], a[2], a[3], a[4], a[5])};
        }
    } catch (e) {
        return {error: e};
    }
}

// Every member refuses the page with the text that names its origin.
function expectRefused(element, members, origin) {
    var want = "This page is not allowed to use the camera: " + origin;
    for (var i = 0; i < members.length; ++i) {
        var answer = callMember(element, members[i]);
        var name = members[i].split(":")[0];
        equal(answer.error ? answer.error.message : "no error, answered " + describe(answer.value),
              want, name + " refuses the page");
    }
}
