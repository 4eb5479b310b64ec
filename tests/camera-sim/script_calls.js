// Drives the registered camera simulator from real JScript (Windows Script
// Host): one call of every parameter shape of the camera interface, checking
// the documented answers. Exit code 0 when every check held; the calls'
// arguments are checked again in the journal by the control tests.
var failures = 0;

function check(what, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("FAIL " + what + ": got " + actual + " (" + typeof actual + "), expected " +
                     expected);
        failures++;
    }
}

var cam = new ActiveXObject("Kavrin.Kavrin.2");

// text, text, number -> number
check("InitCtrl bad address", cam.InitCtrl("http://cam.example/", "not an address!", 80), -2);
check("InitCtrl bad port", cam.InitCtrl("http://cam.example/", "192.168.1.64", 70000), -3);
check("InitCtrl", cam.InitCtrl("http://cam.example/", "192.168.1.64", 8091), 0);
// -> number
check("GetCtrlVersion", cam.GetCtrlVersion(), 20100);
// text, number -> number
check("LoadLang", cam.LoadLang("C:\\lang\\fr.xml", 1), 0);
// number, number -> number
check("SetBufferTick", cam.SetBufferTick(40, 25), 0);
check("SetBufferTickV2", cam.SetBufferTickV2(0, 25), -1);
// number, text -> number
check("SetDeviceType", cam.SetDeviceType(2, "dvr \"quoted\"\ttab"), 0);
// text, text, text -> number; non-ASCII and a character beyond the BMP
check("SetUsernamePasswordAndLanguage",
      cam.SetUsernamePasswordAndLanguage("admin", "p\u00e4ssw\u00f6rd \u20ac",
                                         "\u65e5\u672c\u8a9e \ud83d\ude00"), 0);
// text -> number
check("SetPlayerNum", cam.SetPlayerNum("4"), 0);
// text, text -> number
check("SetVideoPlayerSize", cam.SetVideoPlayerSize("640", "480"), 0);
// text -> number
check("OpenMotionDetection", cam.OpenMotionDetection("0110"), 0);
// -> text
check("GetMDBlockStr", cam.GetMDBlockStr(), "0110");
// number x5, text -> number
check("ExtSetVideoMaskConfig", cam.ExtSetVideoMaskConfig(1, 10, 20, 30, 40, "mask"), 0);
check("ExtGetVideoMaskConfig", cam.ExtGetVideoMaskConfig(), "1,10,20,30,40,mask");
// number -> number
check("ExtVideoZoom", cam.ExtVideoZoom(3), 0);
// number, text, text -> number
check("OnPlayBackByTime", cam.OnPlayBackByTime(1, "2024-05-01 10:00:00", "2024-05-01 11:00:00"), 0);
// number, text -> number
check("ExtSetVideoROIConfig", cam.ExtSetVideoROIConfig(1, "roi"), 0);
// text, text, number -> number
check("SetVideoPlayerSizeAndZoomValue", cam.SetVideoPlayerSizeAndZoomValue("800", "600", 2), 0);
// -> number, -> wide text
check("ExtShowPathSelectNew", cam.ExtShowPathSelectNew(), 0);
check("ExtGetSelectPath", cam.ExtGetSelectPath(), "C:\\Users\\Public\\Vid\u00e9os\\\u30ab\u30e1\u30e9");
// text, text, text -> number, then a stream-dependent operation
check("PlayRealVideo", cam.PlayRealVideo("1", "0", "0"), 0);
check("ExtSnapPicture", cam.ExtSnapPicture("C:\\snaps"), 0);

// A failing operation reaches script as an exception carrying its HRESULT.
var caught = null;
try {
    cam.ExtReserved();
} catch (e) {
    caught = e.number;
}
check("ExtReserved fails", caught, 0x80004001 - 0x100000000);

cam = null;
CollectGarbage();
if (failures)
    WScript.Quit(1);
WScript.Echo("script calls: all checks passed");
