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

// A call refused before it reaches the bridge says why, in the in-process
// control's words, with script's own codes for "Type mismatch" and "Wrong
// number of arguments".
function refusal(call) {
    try {
        call();
    } catch (e) {
        return (e.number >>> 0).toString(16) + " " + e.message;
    }
    return "no error";
}
check("a text where a number goes",
      refusal(function () { bridge.InitCtrl("http://cam/", "192.0.2.10", "eighty"); }),
      "800a000d Invalid argument conversion from string to integer at index 3");
check("null where a text goes",
      refusal(function () { bridge.SetDeviceType(1, null); }),
      "800a000d Invalid argument conversion from null to string at index 2");
check("too few arguments", refusal(function () { bridge.SetBufferTick(40); }),
      "800a01c2 Error: Argument 2is not optional.");
check("too many arguments", refusal(function () { bridge.LoadLang("x", 1, 2); }),
      "800a01c2 Too many arguments, expected 2.");

if (failures === 0)
    WScript.Echo("bridge_local.js: all checks passed");
// Wine's script host does not return from Quit while it holds a proxy.
bridge = null;
CollectGarbage();
WScript.Quit(failures === 0 ? 0 : 1);
