// nporvela's control scripted by Wine's JScript without a window: what page
// script sees of the control when no camera control could be made.
var failures = 0;
function check(what, got, want) {
    if (got !== want) {
        WScript.Echo("FAIL " + what + ": got [" + got + "], want [" + want + "]");
        ++failures;
    }
}
function errorOf(f) {
    try {
        f();
    } catch (e) {
        return e;
    }
    return null;
}

var cam = new ActiveXObject("Brenlow.orvela");

// Without a camera control the members answer by value.
check("InitCtrl", cam.InitCtrl("http://192.0.2.10/", "192.0.2.10", 80), -1);
check("PlayRealVideo", cam.PlayRealVideo("1", "0", "main"), -1);
check("GetMDBlockStr", cam.GetMDBlockStr(), "");
check("version", typeof cam.version, "string");

// A refused call is a JScript exception with the core's message; the message
// is kept for getLastException.
var e = errorOf(function () { cam.InitCtrl("http://192.0.2.10/"); });
check("short call throws", e !== null, true);
check("short call message", e && e.message, "Error: Argument 3is not optional.");
check("short call number", e && e.number, -2147467263);
check("getLastException()", cam.getLastException(), "Error: Argument 3is not optional.");
e = errorOf(function () { cam.SetBufferTick("many", 2); });
check("bad argument throws", e !== null, true);
check("getLastException after bad argument", cam.getLastException(), e && e.message);
e = errorOf(function () { cam.attachEvent("onecho"); });
check("attachEvent with one argument", e && e.message, "Invalid Arguments");

// attachEvent registers exactly the given name; detachEvent removes it.
var seen = [];
function onEcho(text, count) { seen.push(text + "|" + count); }
cam.attachEvent("onecho", onEcho);
check("echo answer", cam.echo("hello"), "hello");
check("echo event", seen.length, 1);
check("echo event arguments", seen[0], "So far, you clicked this many times: |0");
cam.attachEvent("echo", onEcho);
cam.echo("again");
check("no prefix is added", seen.length, 2);
cam.detachEvent("onecho", onEcho);
cam.echo("detached");
check("detached handler", seen.length, 2);
var tests = 0;
cam.attachEvent("ontest", function () { ++tests; });
cam.testEvent();
check("ontest event", tests, 1);

// Expandos live on the scripting object and are enumerated with the members.
cam.expando = 42;
check("expando", cam.expando, 42);
cam.expando = "text";
check("expando changed", cam.expando, "text");
var names = {};
var order = [];
for (var k in cam) {
    names[k] = true;
    order.push(k);
}
check("for-in InitCtrl", names["InitCtrl"], true);
check("for-in expando", names["expando"], true);
check("for-in ends with getLastException", order[order.length - 1], "getLastException");
check("for-in attachEvent", order[order.length - 3], "attachEvent");
var unique = {};
var repeated = 0;
for (var i = 0; i < order.length; ++i) {
    if (unique[order[i]]) ++repeated;
    unique[order[i]] = true;
}
check("for-in lists each name once", repeated, 0);

cam = null;
CollectGarbage();
WScript.Echo(failures === 0 ? "activex_control.js: all checks passed"
                            : "activex_control.js: " + failures + " failures");
