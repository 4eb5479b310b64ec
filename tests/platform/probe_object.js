// Drives the in-process probe server from JScript (Windows Script Host):
// arguments and results, a property, and a failure surfacing as an exception.
var failures = 0;
function check(what, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("FAIL " + what + ": got <" + actual + "> expected <" + expected + ">");
        failures++;
    }
}

var probe = new ActiveXObject("OrvelaProbe.Object");
check("Add", probe.Add(40, 2), 42);
check("Add negative", probe.Add(-5, 3), -2);
check("Concat", probe.Concat("ab", "\u00e9\u4e2d"), "ab\u00e9\u4e2d");
check("Concat empty", probe.Concat("", ""), "");
check("Count initial", probe.Count, 0);
probe.Count = 17;
check("Count written", probe.Count, 17);
check("Describe number", probe.Describe(5), "vt=3:5");
check("Describe text", probe.Describe("x"), "vt=8:x");

var caught = null;
try {
    probe.Fail("camera says no");
} catch (e) {
    caught = e;
}
check("Fail raised", caught !== null, true);
if (caught) {
    check("Fail message", caught.message, "camera says no");
    check("Fail number", caught.number, -2147467259); // E_FAIL
}

var byCreate = WScript.CreateObject("OrvelaProbe.Object.1");
check("second object independent", byCreate.Count, 0);

caught = null;
try {
    probe.NoSuchMember();
} catch (e) {
    caught = e;
}
check("unknown member raises", caught !== null, true);

if (failures === 0)
    WScript.Echo("probe_object.js: all checks passed");
WScript.Quit(failures === 0 ? 0 : 1);
