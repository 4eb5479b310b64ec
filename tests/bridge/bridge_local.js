// Page script's view of the bridge: COM starts orvelaX64.exe for
// X64ConfigCtrl, and script calls cross into it. Created without a window
// there is no camera control yet: the calls answer without reaching one.
var failures = 0;
function check(what, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("FAIL " + what + ": got <" + actual + "> expected <" + expected + ">");
        failures++;
    }
}

var bridge = new ActiveXObject("KavrinX64.X64ConfigCtrl");
check("SetIEWindow with a text", bridge.SetIEWindow("not a window", "onCamera"), -1);
var caught = null;
try {
    bridge.InitCtrl("http://cam/", "192.0.2.10", 80);
    bridge.SetBufferTick(40, 3);
    bridge.GetCtrlVersion();
} catch (e) {
    caught = e;
}
check("calls without a camera", caught, null);
check("unknown member", typeof bridge.PlayRealVideo, "undefined");

if (failures === 0)
    WScript.Echo("bridge_local.js: all checks passed");
// Wine's script host does not return from Quit while it holds a proxy.
bridge = null;
CollectGarbage();
WScript.Quit(failures === 0 ? 0 : 1);
